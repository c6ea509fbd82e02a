#include "net/CWSSocket.h"

#include "net/WSAEventWindow.h"
#include "net/WSEventRegistry.h"
#include "net/WSMessages.h"
#include "platform/WinSockErrors.h"

namespace qlm {

CWSSocket::~CWSSocket() {
  *alive_ = false;
  Close();
}

int CWSSocket::Open() {
  int error = 0;
  SocketHandle handle = WsSocket(&error);
  if (handle == kInvalidSocket) return last_error_ = error;
  handle_ = handle;
  WSEventRegistry::Instance().Register(handle_, WSEventRegistry::kSocket, this);
  last_error_ = 0;
  return 0;
}

int CWSSocket::Connect(const sockaddr_in& address) {
  if (handle_ == kInvalidSocket) {
    if (const int error = Open()) return error;
  }
  // The events of a connected socket are asked for with the connect: they come only after
  // FD_CONNECT, and the poller's registration then needs no change when it comes.
  if (const int error = WsAsyncSelect(handle_, WSAEventWindow::Current(), WM_WS_SOCKET_EVENT,
                                      FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE)) {
    return last_error_ = error;
  }
  const int rc = WsConnect(handle_, address);
  last_error_ = rc == WSAEWOULDBLOCK ? 0 : rc;
  if (rc == 0) {
    state_ = kConnected;
  } else if (rc == WSAEWOULDBLOCK) {
    state_ = kConnecting;
  }
  return rc;
}

int CWSSocket::Receive(char* buffer, std::size_t* length, int /*flags*/) {
  last_error_ = WsRecv(handle_, buffer, length);
  return last_error_;
}

int CWSSocket::Send(const char* buffer, std::size_t length, int /*flags*/) {
  if (!queue_.empty()) {
    // Bytes must leave in order: behind a queue, the whole buffer waits its turn.
    queue_.push_back(QueueEntry{buffer, buffer, length});
    return last_error_ = WSAEWOULDBLOCK;
  }
  const char* position = buffer;
  std::size_t left = length;
  while (left > 0) {
    std::size_t sent = 0;
    const int rc = WsSend(handle_, position, left, &sent);
    if (rc == WSAEWOULDBLOCK) {
      queue_.push_back(QueueEntry{buffer, position, left});
      return last_error_ = WSAEWOULDBLOCK;
    }
    if (rc != 0) return last_error_ = rc;
    position += sent;
    left -= sent;
  }
  return last_error_ = 0;
}

int CWSSocket::Close() {
  if (handle_ == kInvalidSocket) return 0;
  WSEventRegistry::Instance().Unregister(handle_, WSEventRegistry::kSocket);
  queue_.clear();
  const int rc = WsCloseSocket(handle_);
  state_ = kClosedOrIdle;
  handle_ = kInvalidSocket;
  return rc;
}

void CWSSocket::OnWSMessage(Message& msg) {
  if (!sink_) return;
  const long event = LoWord(msg.lparam);
  const int error = static_cast<int>(HiWord(msg.lparam));
  switch (event) {
    case FD_CONNECT:
      if (error == 0) {
        // Asked for before the notice, so the sink that takes the socket over sees every event.
        WsAsyncSelect(handle_, WSAEventWindow::Current(), WM_WS_SOCKET_EVENT,
                      FD_READ | FD_WRITE | FD_CLOSE);
        state_ = kConnected;
      }
      sink_->OnSocketEvent(sink_cookie_, ISocketSink::kConnected, error, nullptr);
      break;
    case FD_READ:
      sink_->OnSocketEvent(sink_cookie_, ISocketSink::kReadable, error, nullptr);
      break;
    case FD_ACCEPT:
      sink_->OnSocketEvent(sink_cookie_, ISocketSink::kAccept, error, nullptr);
      break;
    case FD_CLOSE:
      sink_->OnSocketEvent(sink_cookie_, ISocketSink::kClosed, error, nullptr);
      break;
    case FD_WRITE:
      OnWritable();
      break;
    default:
      break;
  }
}

void CWSSocket::OnWritable() {
  std::weak_ptr<bool> alive = alive_;
  const SocketHandle handle = handle_;
  while (!queue_.empty()) {
    QueueEntry& entry = queue_.front();
    std::size_t sent = 0;
    const int rc = WsSend(handle_, entry.position, entry.left, &sent);
    if (rc == WSAEWOULDBLOCK) return;  // the next FD_WRITE goes on
    if (rc == 0) {
      entry.position += sent;
      entry.left -= sent;
      if (entry.left > 0) continue;
    }
    const char* start = entry.start;
    queue_.pop_front();
    last_error_ = rc;
    if (sink_) sink_->OnSocketEvent(sink_cookie_, ISocketSink::kSendDone, rc, start);
    // The sink may have closed or destroyed the socket, or reopened it for another connection.
    if (alive.expired() || !*alive.lock() || handle_ != handle) return;
  }
}

}  // namespace qlm
