#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "net/ISocketSink.h"
#include "net/WSEventHandler.h"
#include "platform/AsyncSocket.h"

namespace qlm {

class TlsSession;

// A non-blocking TCP socket of the worker thread with a send queue: what cannot be sent at once is
// remembered as a position in the caller's buffer and sent on FD_WRITE. Socket events reach it
// through the hidden window and are handed on to its sink as notices.
//
// Once StartTls has run, the same calls and notices carry the decrypted stream: Receive and Send
// go through the TLS session, the handshake runs on the socket's own events and ends with the
// notice kTlsReady, and the peer's close is told as readable until the reader has taken every
// decrypted byte before it (Receive then reports the end of the stream).
class CWSSocket final : public WSEventHandler {
 public:
  enum ConnectionState : int { kClosedOrIdle = 0, kConnecting = 1, kConnected = 2 };

  CWSSocket();
  // Closes an open socket (queued data is dropped without notices).
  ~CWSSocket() override;
  CWSSocket(const CWSSocket&) = delete;
  CWSSocket& operator=(const CWSSocket&) = delete;

  // Creates the socket and registers it for its events. 0 or the WinSock error (the handle stays
  // invalid then).
  int Open();
  // Opens the socket when needed, asks for FD_CONNECT only and connects. 0 when connected at once,
  // WSAEWOULDBLOCK while under way (notice kConnected tells the end), or a WinSock error.
  int Connect(const sockaddr_in& address);
  // Receives up to `*length` bytes; 0 with `*length` the bytes received (0: the peer closed), or a
  // WinSock error (WSAEWOULDBLOCK when nothing waits) with `*length` 0.
  int Receive(char* buffer, std::size_t* length, int flags = 0);
  // 0 when all of it was sent, WSAEWOULDBLOCK when (some of) it was queued, or a WinSock error.
  // Queued bytes are sent from the caller's buffer, which must stay alive and unchanged until the
  // kSendDone notice that names it, or until the socket closes.
  int Send(const char* buffer, std::size_t length, int flags = 0);
  // Unregisters, drops the queue without notices and closes. 0, or the close error.
  int Close();

  // Starts the TLS client side on the connected socket, checking the certificate against
  // `server_name` and resuming a session filed under `session_key` ("host:port") when there is
  // one. 0 when the handshake ended at once, WSAEWOULDBLOCK while it runs (the notice kTlsReady
  // tells its end), or -1 when it failed (TlsFailure() says why).
  int StartTls(const std::string& server_name, const std::string& session_key);
  bool Secure() const { return tls_ != nullptr; }
  // Why the handshake failed (a TlsFailure); 0 when it did not.
  int TlsFailure() const;
  // The handshake resumed an earlier session instead of running in full.
  bool TlsResumed() const;

  void SetSink(ISocketSink* sink, std::uint32_t cookie) {
    sink_ = sink;
    sink_cookie_ = cookie;
  }
  ISocketSink* Sink() const { return sink_; }
  std::uint32_t SinkCookie() const { return sink_cookie_; }
  SocketHandle Handle() const { return handle_; }
  int LastError() const { return last_error_; }
  ConnectionState State() const { return state_; }
  // Entries waiting in the send queue.
  std::size_t QueuedEntries() const { return queue_.size(); }
  // Posts a read event of its own: the sink hears kReadable from the loop, after what runs now
  // (nothing when the socket is closed by then). Decrypted bytes that wait in the TLS session
  // after a read are fetched so, as no socket event will tell of them; a request goes on so
  // after it stopped to tell its owner something.
  void PostReadable();

  // The hidden window's socket event for this socket.
  void OnWSMessage(Message& msg) override;

 private:
  struct QueueEntry {
    const char* start;     // the caller's buffer, as passed to Send
    const char* position;  // first byte not sent yet
    std::size_t left;      // bytes from position not sent yet; > 0 while queued
  };

  void OnWritable();
  // WsSend, or the TLS session's Write once it is up.
  int SendSome(const char* data, std::size_t length, std::size_t* sent);
  void ContinueHandshake(int error);

  SocketHandle handle_ = kInvalidSocket;
  int last_error_ = 0;           // WinSock error of the last operation, 0 on success
  ISocketSink* sink_ = nullptr;  // told every notice; nothing is told while null
  std::uint32_t sink_cookie_ = 0;
  ConnectionState state_ = kClosedOrIdle;
  std::deque<QueueEntry> queue_;     // sent in order from the front on FD_WRITE
  std::unique_ptr<TlsSession> tls_;  // set by StartTls until Close
  bool handshaking_ = false;         // socket events go to the handshake, not the sink
  // Shared with every handler on the stack, so that a sink that destroys this socket inside a
  // notice stops the handler before it touches the freed object.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qlm
