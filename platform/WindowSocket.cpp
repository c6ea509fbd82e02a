#include "platform/WindowSocket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Window.h"
#include "platform/WindowDirectory.h"
#include "platform/WindowFrame.h"

namespace qlm {

namespace {

// Connections waiting to be taken up; beyond this a poster gets EAGAIN and its post fails.
constexpr int kBacklog = 64;
// Posted frames read in one readiness report before the loop looks at its other work again.
constexpr int kFramesPerWake = 32;

// The temporary name an entry is made under before it is renamed into place.
std::string TemporaryPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return path.substr(0, slash + 1) + "t" + path.substr(slash + 2);
}

bool WriteIdentity(const std::string& path, const std::string& class_name,
                   const std::string& title) {
  const std::string temporary = TemporaryPath(path);
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::string bytes = class_name;
  bytes += '\0';
  bytes += title;
  const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  if (!written) errno = errno ? errno : EIO;
  if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    errno = error;
    return false;
  }
  return true;
}

}  // namespace

// One connection from another program. It holds everything it needs to answer by itself, because
// the window and its WindowSocket may be gone by the time a handler returns.
class WindowSocket::Connection final : public PollListener,
                                       public std::enable_shared_from_this<Connection> {
 public:
  Connection(int fd, Hwnd hwnd, WindowSocket* owner, std::shared_ptr<Poller> poller,
             std::shared_ptr<LoopQueue> queue)
      : fd_(fd), hwnd_(hwnd), owner_(owner), poller_(std::move(poller)), queue_(std::move(queue)) {}
  ~Connection() override {
    if (fd_ >= 0) close(fd_);
  }

  // The owner lets go: no more events; the descriptor closes now, or after the answer in progress.
  void Detach() {
    owner_ = nullptr;
    poller_->Unwatch(fd_);
    if (!serving_) {
      close(fd_);
      fd_ = -1;
    }
  }

  void OnPollEvents(std::uint32_t) override {
    const std::shared_ptr<Connection> keep = shared_from_this();
    for (int i = 0; i < kFramesPerWake && owner_; ++i) {
      WindowFrame frame;
      const ssize_t n = recv(fd_, &frame, sizeof frame, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
      // The end of the connection, an error, or a frame of another shape or for another window.
      const bool usable = n == static_cast<ssize_t>(sizeof frame) && frame.hwnd == hwnd_ &&
                          (frame.kind == WindowFrame::kPost || frame.kind == WindowFrame::kSend);
      if (!usable) {
        owner_->Drop(fd_);  // deletes this object's last owner but `keep`
        return;
      }
      Message msg;
      msg.hwnd = hwnd_;
      msg.message = frame.message;
      msg.wparam = frame.wparam;
      msg.lparam = frame.lparam;
      if (frame.kind == WindowFrame::kPost) {
        queue_->Post(std::move(msg));
        continue;
      }
      Answer(msg);
      return;  // the handler may have changed anything; look again at the next report
    }
  }

 private:
  void Answer(Message& msg) {
    serving_ = true;
    WindowFrame reply;
    reply.kind = WindowFrame::kReply;
    reply.message = msg.message;
    reply.hwnd = hwnd_;
    reply.lparam = Window::Deliver(msg);
    serving_ = false;
    [[maybe_unused]] ssize_t n = send(fd_, &reply, sizeof reply, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (!owner_) {  // detached while the handler ran
      close(fd_);
      fd_ = -1;
    }
  }

  int fd_;
  const Hwnd hwnd_;
  WindowSocket* owner_;   // null once detached
  bool serving_ = false;  // a handler runs for a frame of this connection
  std::shared_ptr<Poller> poller_;
  std::shared_ptr<LoopQueue> queue_;
};

WindowSocket::~WindowSocket() {
  Close();
}

bool WindowSocket::Open(Hwnd hwnd, const std::string& class_name, const std::string& title,
                        std::shared_ptr<Poller> poller, std::shared_ptr<LoopQueue> queue) {
  if (listen_fd_ >= 0 || !poller || !queue) {
    errno = EINVAL;
    return false;
  }
  const std::string path = WindowDirectory::SocketPath(hwnd);
  if (path.empty()) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string temporary = TemporaryPath(path);
  if (temporary.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  if (!WriteIdentity(WindowDirectory::IdentityPath(hwnd), class_name, title)) return false;
  std::memcpy(address.sun_path, temporary.c_str(), temporary.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  unlink(temporary.c_str());
  // Listening before the rename is what lets a refused connection mean "stale".
  const bool listening =
      fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      listen(fd, kBacklog) == 0 && rename(temporary.c_str(), path.c_str()) == 0 &&
      poller->Watch(fd, Poller::kReadable, this);
  if (!listening) {
    const int error = errno;
    if (fd >= 0) close(fd);
    unlink(temporary.c_str());
    WindowDirectory::Remove(hwnd);
    errno = error;
    return false;
  }
  hwnd_ = hwnd;
  listen_fd_ = fd;
  poller_ = std::move(poller);
  queue_ = std::move(queue);
  return true;
}

void WindowSocket::Close() {
  if (listen_fd_ < 0) return;
  WindowDirectory::Remove(hwnd_);
  poller_->Unwatch(listen_fd_);
  close(listen_fd_);
  listen_fd_ = -1;
  for (auto& [fd, connection] : connections_) connection->Detach();
  connections_.clear();
}

void WindowSocket::OnPollEvents(std::uint32_t) {
  for (;;) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN: all taken up; anything else: try again at the next report
    // The runtime folder is private to its user already; a peer of another user (root, say, who
    // passes any folder's mode) is turned away all the same.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != geteuid()) {
      close(fd);
      continue;
    }
    auto connection = std::make_shared<Connection>(fd, hwnd_, this, poller_, queue_);
    if (!poller_->Watch(fd, Poller::kReadable, connection.get())) continue;  // closed with it
    connections_[fd] = std::move(connection);
  }
}

void WindowSocket::Drop(int fd) {
  auto it = connections_.find(fd);
  if (it == connections_.end()) return;
  it->second->Detach();
  connections_.erase(it);
}

}  // namespace qlm
