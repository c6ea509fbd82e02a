#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "net/ISocketSink.h"
#include "net/WSEventHandler.h"
#include "platform/AsyncSocket.h"

namespace qlm {

// A non-blocking TCP socket of the worker thread with a send queue: what cannot be sent at once is
// remembered as a position in the caller's buffer and sent on FD_WRITE. Socket events reach it
// through the hidden window and are handed on to its sink as notices.
class CWSSocket final : public WSEventHandler {
 public:
  enum ConnectionState : int { kClosedOrIdle = 0, kConnecting = 1, kConnected = 2 };

  CWSSocket() = default;
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

  // The hidden window's socket event for this socket.
  void OnWSMessage(Message& msg) override;

 private:
  struct QueueEntry {
    const char* start;     // the caller's buffer, as passed to Send
    const char* position;  // first byte not sent yet
    std::size_t left;      // bytes from position not sent yet; > 0 while queued
  };

  void OnWritable();

  SocketHandle handle_ = kInvalidSocket;
  int last_error_ = 0;           // WinSock error of the last operation, 0 on success
  ISocketSink* sink_ = nullptr;  // told every notice; nothing is told while null
  std::uint32_t sink_cookie_ = 0;
  ConnectionState state_ = kClosedOrIdle;
  std::deque<QueueEntry> queue_;  // sent in order from the front on FD_WRITE
  // Shared with every handler on the stack, so that a sink that destroys this socket inside a
  // notice stops the handler before it touches the freed object.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qlm
