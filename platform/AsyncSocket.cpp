#include "platform/AsyncSocket.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/DeferredClose.h"
#include "platform/MessageIds.h"
#include "platform/MessageLoop.h"
#include "platform/Messaging.h"
#include "platform/Poller.h"
#include "platform/SpareSockets.h"
#include "platform/WinSockErrors.h"

namespace qlm {

namespace {

// One socket and the state of its asynchronous select. Used only on the owning thread.
class SocketEntry final : public PollListener {
 public:
  enum class Phase { kIdle, kConnecting, kConnected, kListening, kFailed };

  SocketEntry(SocketHandle handle, int fd) : handle_(handle), fd_(fd) {}
  ~SocketEntry() override {
    Unwatch();
    // A connection's tear-down is left to the closing thread; a listening socket lets go of its
    // port at once.
    if (phase_ == Phase::kConnecting || phase_ == Phase::kConnected) {
      DeferredClose::Close(fd_);
    } else {
      close(fd_);
    }
  }

  int Fd() const { return fd_; }
  Phase GetPhase() const { return phase_; }

  int Select(std::shared_ptr<Poller> poller, Hwnd hwnd, unsigned message, long events) {
    if (poller_ && poller_ != poller) Unwatch();
    poller_ = std::move(poller);
    hwnd_ = hwnd;
    message_ = message;
    selected_ = events;
    read_enabled_ = true;
    accept_enabled_ = true;
    write_enabled_ = phase_ == Phase::kConnected;
    UpdateInterest();
    return 0;
  }

  void StartConnect() {
    phase_ = Phase::kConnecting;
    UpdateInterest();
  }

  // The connect ended at once, well or badly; the notice still comes as a message.
  void ConnectEnded(int error) {
    phase_ = error == 0 ? Phase::kConnected : Phase::kFailed;
    if (error == 0) write_enabled_ = true;
    Notify(FD_CONNECT, error);
    UpdateInterest();
  }

  void StartListening() {
    phase_ = Phase::kListening;
    UpdateInterest();
  }

  void BecomeConnected() { phase_ = Phase::kConnected; }

  // The calls that WinSock names re-enabling functions.
  void ReadCalled() {
    read_enabled_ = true;
    UpdateInterest();
  }
  void SendWouldBlock() {
    write_enabled_ = true;
    UpdateInterest();
  }
  void AcceptCalled() {
    accept_enabled_ = true;
    UpdateInterest();
  }

  void OnPollEvents(std::uint32_t events) override {
    if (wanted_ == 0) {
      Unwatch();  // left registered while nothing is wanted, and ready: it goes now
      return;
    }
    switch (phase_) {
      case Phase::kConnecting:
        // Linux reports a failed connect with an error event: writable without one is connected,
        // and only a failure needs the error read.
        if (events & (Poller::kError | Poller::kHangUp)) {
          ConnectEnded(WinSockErrorFromErrno(TakeSocketError()));
        } else if (events & Poller::kWritable) {
          ConnectEnded(0);
        }
        return;
      case Phase::kListening:
        if ((events & Poller::kReadable) && accept_enabled_) {
          accept_enabled_ = false;
          Notify(FD_ACCEPT, 0);
        }
        break;
      case Phase::kConnected:
        if (events & (Poller::kReadable | Poller::kPeerClosed | Poller::kHangUp | Poller::kError)) {
          OnReadSide(events);
        }
        if ((events & Poller::kWritable) && write_enabled_ && (selected_ & FD_WRITE)) {
          write_enabled_ = false;
          Notify(FD_WRITE, 0);
        }
        break;
      case Phase::kIdle:
      case Phase::kFailed:
        break;
    }
    UpdateInterest();
  }

 private:
  int TakeSocketError() {
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
    return error;
  }

  void OnReadSide(std::uint32_t events) {
    if (eof_seen_) return;
    if (events & Poller::kError) {
      const int error = TakeSocketError();
      if (error != 0) {
        eof_seen_ = true;
        Notify(FD_CLOSE, WinSockErrorFromErrno(error));
        return;
      }
    }
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0) waiting = 0;
    const bool peer_closed = events & (Poller::kPeerClosed | Poller::kHangUp);
    if (waiting > 0 && (selected_ & FD_READ)) {
      if (read_enabled_) {
        read_enabled_ = false;
        Notify(FD_READ, 0);
      }
      return;  // the close is told once these bytes have been read
    }
    if (waiting == 0 && !(events & (Poller::kReadable | Poller::kHangUp)) && !peer_closed) return;
    if (waiting == 0 || peer_closed) {
      // End of the stream (readable with nothing to read), or a close with bytes nobody asked for.
      eof_seen_ = true;
      Notify(FD_CLOSE, 0);
    }
  }

  void Notify(long event, int error) {
    if (!(selected_ & event) || hwnd_ == 0) return;
    PostMessage(hwnd_, message_, handle_,
                MakeLong(static_cast<unsigned>(event), static_cast<unsigned>(error)));
  }

  // Only what can lead to a notice is watched: a descriptor that stays ready while nothing would
  // be told (an unconnected socket reports a hang-up forever) would keep the loop spinning; one
  // left registered while nothing is wanted goes at its first report.
  void UpdateInterest() {
    std::uint32_t want = 0;
    switch (phase_) {
      case Phase::kConnecting:
        // The read side is watched from the start, as it will be once connected (the connect is
        // told by the socket turning writable): the connect then needs no change of the
        // registration.
        want = Poller::kWritable | ReadInterest();
        break;
      case Phase::kListening:
        if ((selected_ & FD_ACCEPT) && accept_enabled_) want = Poller::kReadable;
        break;
      case Phase::kConnected:
        want = ReadInterest();
        if ((selected_ & FD_WRITE) && write_enabled_) want |= Poller::kWritable;
        break;
      case Phase::kIdle:
      case Phase::kFailed:
        break;
    }
    if (!poller_ || hwnd_ == 0) want = 0;
    wanted_ = want;
    // When nothing is wanted the registration is left as it is until the descriptor reports
    // something: most sockets want their events again soon (a read answered, a connect notice
    // handled), and one change of the registration then does instead of a removal and a new one.
    if (want == watched_ || want == 0) return;
    if (poller_->Watch(fd_, want, this)) watched_ = want;
  }

  // What a connected socket watches for its read side.
  std::uint32_t ReadInterest() const {
    if (eof_seen_) return 0;
    // While an FD_READ is unanswered the close waits too: it comes after the data.
    const std::uint32_t none = 0;
    if (selected_ & FD_READ) return read_enabled_ ? Poller::kReadable | Poller::kPeerClosed : none;
    return (selected_ & FD_CLOSE) ? std::uint32_t{Poller::kPeerClosed} : none;
  }

  void Unwatch() {
    if (watched_ != 0 && poller_) poller_->Unwatch(fd_);
    watched_ = 0;
  }

  const SocketHandle handle_;
  const int fd_;
  Phase phase_ = Phase::kIdle;
  std::shared_ptr<Poller> poller_;  // of the loop the socket is selected on
  std::uint32_t watched_ = 0;       // Poller bits registered now; 0: not registered
  std::uint32_t wanted_ = 0;        // Poller bits that can lead to a notice now
  Hwnd hwnd_ = 0;
  unsigned message_ = 0;
  long selected_ = 0;           // FD_* bits asked for
  bool read_enabled_ = true;    // an FD_READ may be posted (no unanswered one)
  bool write_enabled_ = false;  // an FD_WRITE may be posted
  bool accept_enabled_ = true;  // an FD_ACCEPT may be posted
  bool eof_seen_ = false;       // the read side ended (FD_CLOSE was due); nothing more to watch
};

class SocketTable {
 public:
  static SocketTable& Instance() {
    static SocketTable* table = new SocketTable;  // never destroyed: sockets may outlive main
    return *table;
  }

  SocketHandle Add(int fd) {
    std::lock_guard lock(mutex_);
    const SocketHandle handle = next_handle_++;
    sockets_.emplace(handle, std::make_unique<SocketEntry>(handle, fd));
    return handle;
  }
  SocketEntry* Find(SocketHandle s) {
    std::lock_guard lock(mutex_);
    auto it = sockets_.find(s);
    return it == sockets_.end() ? nullptr : it->second.get();
  }
  bool Remove(SocketHandle s) {
    std::unique_ptr<SocketEntry> entry;  // closed outside the lock
    std::lock_guard lock(mutex_);
    auto it = sockets_.find(s);
    if (it == sockets_.end()) return false;
    entry = std::move(it->second);
    sockets_.erase(it);
    return true;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return sockets_.size();
  }
  ConnectFault Fault() {
    std::lock_guard lock(mutex_);
    return fault_;
  }
  void SetFault(ConnectFault fault) {
    std::lock_guard lock(mutex_);
    fault_ = std::move(fault);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<SocketHandle, std::unique_ptr<SocketEntry>> sockets_;
  SocketHandle next_handle_ = 0x100;
  ConnectFault fault_;
};

// Connect failures that WinSock reports through FD_CONNECT rather than from connect().
bool IsNetworkConnectFailure(int err) {
  return err == ECONNREFUSED || err == ENETUNREACH || err == EHOSTUNREACH || err == ETIMEDOUT ||
         err == ECONNRESET || err == ENETDOWN;
}

}  // namespace

SocketHandle WsSocket(int* error) {
  int fd = SpareSockets::Take();
  if (fd < 0) fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = WinSockErrorFromErrno(errno);
    return kInvalidSocket;
  }
  *error = 0;
  return SocketTable::Instance().Add(fd);
}

int WsConnect(SocketHandle s, const sockaddr_in& address) {
  SocketEntry* entry = SocketTable::Instance().Find(s);
  if (!entry) return WSAENOTSOCK;
  switch (entry->GetPhase()) {
    case SocketEntry::Phase::kConnecting:
      return WSAEALREADY;
    case SocketEntry::Phase::kConnected:
      return WSAEISCONN;
    case SocketEntry::Phase::kListening:
      return WSAEINVAL;
    case SocketEntry::Phase::kFailed:
      return WSAEINVAL;  // a socket tries one connect only
    case SocketEntry::Phase::kIdle:
      break;
  }
  if (ConnectFault fault = SocketTable::Instance().Fault()) {
    if (const int error = fault(address)) {
      entry->ConnectEnded(error);
      return WSAEWOULDBLOCK;
    }
  }
  if (connect(entry->Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    entry->ConnectEnded(0);
    return 0;
  }
  const int err = errno;
  if (err == EINPROGRESS) {
    entry->StartConnect();
    return WSAEWOULDBLOCK;
  }
  if (IsNetworkConnectFailure(err)) {
    entry->ConnectEnded(WinSockErrorFromErrno(err));
    return WSAEWOULDBLOCK;
  }
  return WinSockErrorFromErrno(err);
}

int WsSend(SocketHandle s, const char* data, std::size_t length, std::size_t* sent) {
  *sent = 0;
  SocketEntry* entry = SocketTable::Instance().Find(s);
  if (!entry) return WSAENOTSOCK;
  if (entry->GetPhase() != SocketEntry::Phase::kConnected) return WSAENOTCONN;
  ssize_t n;
  do {
    n = send(entry->Fd(), data, length, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) {
    *sent = static_cast<std::size_t>(n);
    return 0;
  }
  const int err = errno;
  if (err == EAGAIN || err == EWOULDBLOCK) {
    entry->SendWouldBlock();
    return WSAEWOULDBLOCK;
  }
  return WinSockErrorFromErrno(err);
}

int WsRecv(SocketHandle s, char* buffer, std::size_t* length) {
  const std::size_t room = *length;
  *length = 0;
  SocketEntry* entry = SocketTable::Instance().Find(s);
  if (!entry) return WSAENOTSOCK;
  if (entry->GetPhase() != SocketEntry::Phase::kConnected) return WSAENOTCONN;
  ssize_t n;
  do {
    n = recv(entry->Fd(), buffer, room, 0);
  } while (n < 0 && errno == EINTR);
  const int err = errno;
  entry->ReadCalled();
  if (n >= 0) {
    *length = static_cast<std::size_t>(n);
    return 0;
  }
  return WinSockErrorFromErrno(err);  // EAGAIN becomes WSAEWOULDBLOCK
}

int WsCloseSocket(SocketHandle s) {
  return SocketTable::Instance().Remove(s) ? 0 : WSAENOTSOCK;
}

int WsAsyncSelect(SocketHandle s, Hwnd hwnd, unsigned message, long events) {
  SocketEntry* entry = SocketTable::Instance().Find(s);
  if (!entry) return WSAENOTSOCK;
  MessageLoop* loop = MessageLoop::Current();
  std::shared_ptr<Poller> poller = loop ? loop->SharePoller() : nullptr;
  if (events != 0 && (!poller || !IsWindow(hwnd))) return WSAEINVAL;
  return entry->Select(std::move(poller), hwnd, message, events);
}

int WsListen(SocketHandle s, const sockaddr_in& address, int backlog) {
  SocketEntry* entry = SocketTable::Instance().Find(s);
  if (!entry) return WSAENOTSOCK;
  if (entry->GetPhase() != SocketEntry::Phase::kIdle) return WSAEISCONN;
  const int yes = 1;
  setsockopt(entry->Fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (bind(entry->Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(entry->Fd(), backlog) != 0) {
    return WinSockErrorFromErrno(errno);
  }
  entry->StartListening();
  return 0;
}

int WsSetNoDelay(SocketHandle s) {
  SocketEntry* entry = SocketTable::Instance().Find(s);
  if (!entry) return WSAENOTSOCK;
  const int yes = 1;
  if (setsockopt(entry->Fd(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes) != 0) {
    return WinSockErrorFromErrno(errno);
  }
  return 0;
}

SocketHandle WsAccept(SocketHandle s, int* error) {
  SocketEntry* entry = SocketTable::Instance().Find(s);
  if (!entry) {
    *error = WSAENOTSOCK;
    return kInvalidSocket;
  }
  const int fd = accept4(entry->Fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  const int err = errno;
  entry->AcceptCalled();
  if (fd < 0) {
    *error = WinSockErrorFromErrno(err);
    return kInvalidSocket;
  }
  *error = 0;
  const SocketHandle accepted = SocketTable::Instance().Add(fd);
  SocketTable::Instance().Find(accepted)->BecomeConnected();
  return accepted;
}

int WsLocalAddress(SocketHandle s, sockaddr_in* address) {
  SocketEntry* entry = SocketTable::Instance().Find(s);
  if (!entry) return WSAENOTSOCK;
  socklen_t len = sizeof *address;
  if (getsockname(entry->Fd(), reinterpret_cast<sockaddr*>(address), &len) != 0) {
    return WinSockErrorFromErrno(errno);
  }
  return 0;
}

void WsSetConnectFault(ConnectFault fault) {
  SocketTable::Instance().SetFault(std::move(fault));
}

std::size_t WsOpenSocketCount() {
  return SocketTable::Instance().Count();
}

}  // namespace qlm
