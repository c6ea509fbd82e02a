#include "net/CWSSocket.h"

#include "net/TlsSession.h"
#include "net/WSAEventWindow.h"
#include "net/WSEventRegistry.h"
#include "net/WSMessages.h"
#include "platform/Messaging.h"
#include "platform/WinSockErrors.h"

namespace qlm {

CWSSocket::CWSSocket() = default;

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
  if (!tls_) return last_error_ = WsRecv(handle_, buffer, length);
  if (handshaking_) {
    *length = 0;
    return last_error_ = WSAEWOULDBLOCK;
  }
  last_error_ = tls_->Read(buffer, length);
  if (tls_->HasPending()) PostReadable();
  return last_error_;
}

int CWSSocket::SendSome(const char* data, std::size_t length, std::size_t* sent) {
  if (!tls_) return WsSend(handle_, data, length, sent);
  if (handshaking_) {
    *sent = 0;
    return WSAEWOULDBLOCK;  // queued; the end of the handshake sends it
  }
  return tls_->Write(data, length, sent);
}

void CWSSocket::PostReadable() {
  PostMessage(WSAEventWindow::Current(), WM_WS_SOCKET_EVENT, handle_,
              static_cast<LParam>(MakeLong(FD_READ, 0)));
}

int CWSSocket::StartTls(const std::string& server_name, const std::string& session_key) {
  // The handshake's last flight and the request follow each other as separate small writes:
  // held back until the first is acknowledged, the request would wait for the server's
  // delayed acknowledgement (40 ms on Linux) on every connection.
  WsSetNoDelay(handle_);
  tls_ = std::make_unique<TlsSession>(handle_, server_name, session_key);
  const int rc = tls_->Handshake();
  handshaking_ = rc == WSAEWOULDBLOCK;
  if (rc == 0) tls_->Flush();
  return rc;
}

int CWSSocket::TlsFailure() const {
  return tls_ ? tls_->Failure() : 0;
}

bool CWSSocket::TlsResumed() const {
  return tls_ && tls_->Resumed();
}

void CWSSocket::ContinueHandshake(int error) {
  const int rc = error != 0 ? -1 : tls_->Handshake();
  if (rc == WSAEWOULDBLOCK) return;
  handshaking_ = false;
  int failure = rc == 0 ? 0 : tls_->Failure();
  if (rc != 0 && failure == 0) failure = kTlsHandshakeFailed;
  std::weak_ptr<bool> alive = alive_;
  if (sink_) sink_->OnSocketEvent(sink_cookie_, ISocketSink::kTlsReady, failure, nullptr);
  // Bytes queued while the handshake ran go out now, with its last flight. Else the flight waits
  // for the first write, the sink's request, and goes with it (or for the first read).
  if (rc == 0 && !alive.expired() && *alive.lock() && !queue_.empty()) OnWritable();
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
    const int rc = SendSome(position, left, &sent);
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
  if (tls_) tls_->Shutdown();
  tls_.reset();
  handshaking_ = false;
  const int rc = WsCloseSocket(handle_);
  state_ = kClosedOrIdle;
  handle_ = kInvalidSocket;
  return rc;
}

void CWSSocket::OnWSMessage(Message& msg) {
  if (!sink_) return;
  const long event = LoWord(msg.lparam);
  const int error = static_cast<int>(HiWord(msg.lparam));
  if (handshaking_) {
    if (event == FD_READ || event == FD_WRITE || event == FD_CLOSE) ContinueHandshake(error);
    return;
  }
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
      // Decrypted bytes may still wait in the session: the reader reads them, and then the end.
      sink_->OnSocketEvent(sink_cookie_,
                           tls_ && error == 0 ? ISocketSink::kReadable : ISocketSink::kClosed,
                           error, nullptr);
      break;
    case FD_WRITE:
      OnWritable();
      break;
    default:
      break;
  }
}

void CWSSocket::OnWritable() {
  // Encrypted bytes the socket did not take go before anything else.
  if (tls_ && !handshaking_ && tls_->Blocked() && tls_->Flush() == WSAEWOULDBLOCK) return;
  std::weak_ptr<bool> alive = alive_;
  const SocketHandle handle = handle_;
  while (!queue_.empty()) {
    QueueEntry& entry = queue_.front();
    std::size_t sent = 0;
    const int rc = SendSome(entry.position, entry.left, &sent);
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
