#pragma once

#include <cstdint>

namespace qlm {

// Receives the notices of a CWSSocket.
class ISocketSink {
 public:
  enum Notice : int {
    kConnected = 0,  // error: 0 or why the connect failed
    kAccept = 1,
    kReadable = 2,
    kSendDone = 3,  // extra: the start of the caller's buffer whose queued rest was sent or failed
    kClosed = 4,    // error: 0, or WSAECONNRESET for a reset
    kTlsReady = 5,  // the TLS handshake ended; error: 0, or the TlsFailure that ended it
  };
  virtual ~ISocketSink() = default;
  // Called from the hidden window's message handler. The sink may send, receive, close the socket,
  // or hand it to another sink from here.
  virtual void OnSocketEvent(std::uint32_t cookie, int notice, int error, const void* extra) = 0;
};

}  // namespace qlm
