#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <stdexcept>

namespace qlm::test {

namespace {

int ListenLoopback(uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

bool HasRequestEnd(const std::string& bytes) {
  return bytes.find("\r\n\r\n") != std::string::npos || bytes.find("\n\n") != std::string::npos;
}

}  // namespace

ServerScript& ServerScript::ReadRequest() {
  steps_.push_back({Step::kReadRequest, nullptr, {}, {}});
  return *this;
}

ServerScript& ServerScript::Send(std::string bytes) {
  return Send(std::make_shared<const std::string>(std::move(bytes)));
}

ServerScript& ServerScript::Send(std::shared_ptr<const std::string> bytes) {
  steps_.push_back({Step::kSend, std::move(bytes), {}, {}});
  return *this;
}

ServerScript& ServerScript::Trickle(std::string bytes, std::chrono::milliseconds gap) {
  steps_.push_back({Step::kSend, std::make_shared<const std::string>(std::move(bytes)), {1}, gap});
  return *this;
}

ServerScript& ServerScript::SendInRandomPieces(std::string bytes, size_t max_piece, uint32_t seed,
                                               std::chrono::milliseconds gap) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> size(1, max_piece < 1 ? 1 : max_piece);
  std::vector<size_t> pieces;
  for (size_t sent = 0; sent < bytes.size();) {
    pieces.push_back(size(random));
    sent += pieces.back();
  }
  steps_.push_back(
      {Step::kSend, std::make_shared<const std::string>(std::move(bytes)), std::move(pieces), gap});
  return *this;
}

ServerScript& ServerScript::Pause(std::chrono::milliseconds how_long) {
  steps_.push_back({Step::kPause, nullptr, {}, how_long});
  return *this;
}

ServerScript& ServerScript::Close() {
  steps_.push_back({Step::kClose, nullptr, {}, {}});
  return *this;
}

ServerScript& ServerScript::Reset() {
  steps_.push_back({Step::kReset, nullptr, {}, {}});
  return *this;
}

ServerScript& ServerScript::HoldOpen() {
  steps_.push_back({Step::kHoldOpen, nullptr, {}, {}});
  return *this;
}

ServerScript& ServerScript::AwaitPeerClose() {
  steps_.push_back({Step::kAwaitPeerClose, nullptr, {}, {}});
  return *this;
}

ScriptedServer::ScriptedServer(ServerScript script) : script_(std::move(script)) {
  listen_fd_ = ListenLoopback(&port_);
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
  if (listen_fd_ < 0 || stop_fd_ < 0) throw std::runtime_error("ScriptedServer: cannot listen");
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(stop_fd_, &one, sizeof one);
  acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
  ::close(listen_fd_);
  ::close(stop_fd_);
}

std::string ScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

size_t ScriptedServer::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

std::string ScriptedServer::Request(size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() ? connections_[index].received : std::string();
}

bool ScriptedServer::PeerClosed(size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() && connections_[index].peer_closed;
}

bool ScriptedServer::Finished(size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() && connections_[index].finished;
}

bool ScriptedServer::WaitForPeerClose(size_t index, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return index < connections_.size() && connections_[index].peer_closed;
  });
}

bool ScriptedServer::WaitForFinished(size_t index, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(
      lock, timeout, [&] { return index < connections_.size() && connections_[index].finished; });
}

bool ScriptedServer::WaitFor(int fd, short events, int timeout_ms) const {
  pollfd fds[2] = {{fd, events, 0}, {stop_fd_, POLLIN, 0}};
  for (;;) {
    int n = ::poll(fds, 2, timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (fds[1].revents) return false;
    return true;
  }
}

bool ScriptedServer::Nap(std::chrono::milliseconds how_long) const {
  if (how_long.count() <= 0) return true;
  pollfd stop{stop_fd_, POLLIN, 0};
  return ::poll(&stop, 1, static_cast<int>(how_long.count())) == 0;
}

void ScriptedServer::AcceptLoop() {
  for (;;) {
    if (!WaitFor(listen_fd_, POLLIN, -1)) return;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    size_t index = connections_.size();
    connections_.emplace_back();
    workers_.emplace_back([this, fd, index] { Serve(fd, index); });
    changed_.notify_all();
  }
}

bool ScriptedServer::SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    if (!WaitFor(fd, POLLOUT, -1)) return false;
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ScriptedServer::ReadSome(int fd, size_t index) {
  char buffer[16384];
  ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  std::lock_guard lock(mutex_);
  if (n <= 0) {
    connections_[index].peer_closed = true;
    changed_.notify_all();
    return false;
  }
  connections_[index].received.append(buffer, static_cast<size_t>(n));
  return true;
}

// Runs one step; false when the connection is over (closed by either side or the server stops).
bool ScriptedServer::RunStep(int fd, size_t index, const ServerScript::Step& step) {
  using Step = ServerScript::Step;
  switch (step.kind) {
    case Step::kReadRequest:
      while (!HasRequestEnd(Request(index))) {
        if (!WaitFor(fd, POLLIN, -1) || !ReadSome(fd, index)) return false;
      }
      return true;
    case Step::kSend: {
      const std::string& bytes = *step.bytes;
      if (step.chunks.empty()) return SendAll(fd, bytes.data(), bytes.size());
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      size_t sent = 0;
      for (size_t i = 0; sent < bytes.size(); ++i) {
        size_t piece =
            std::min(step.chunks[std::min(i, step.chunks.size() - 1)], bytes.size() - sent);
        if (sent > 0 && !Nap(step.gap)) return false;
        if (!SendAll(fd, bytes.data() + sent, piece)) return false;
        sent += piece;
      }
      return true;
    }
    case Step::kPause:
      return Nap(step.gap);
    case Step::kClose:
      return false;
    case Step::kReset: {
      linger hard{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      return false;
    }
    case Step::kHoldOpen:
    case Step::kAwaitPeerClose:
      while (WaitFor(fd, POLLIN, -1) && ReadSome(fd, index)) {
      }
      return false;
  }
  return false;
}

void ScriptedServer::Serve(int fd, size_t index) {
  for (const auto& step : script_.Steps()) {
    if (!RunStep(fd, index, step)) break;
  }
  ::close(fd);
  std::lock_guard lock(mutex_);
  connections_[index].finished = true;
  changed_.notify_all();
}

uint16_t FreeLoopbackPort() {
  uint16_t port = 0;
  int fd = ListenLoopback(&port);
  if (fd < 0) throw std::runtime_error("FreeLoopbackPort: cannot bind");
  ::close(fd);
  return port;
}

uint16_t RefusedPort() {
  return FreeLoopbackPort();
}

}  // namespace qlm::test
