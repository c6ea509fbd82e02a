#include "tests/support/SiteServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace qlm::test {

namespace {

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 304:
      return "Not Modified";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 408:
      return "Request Timeout";
    default:
      return "Status";
  }
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

SiteServer::SiteServer() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listen_fd_ < 0 || stop_fd_ < 0 ||
      ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    throw std::runtime_error("SiteServer: cannot listen");
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

SiteServer::~SiteServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
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

std::string SiteServer::Url(const std::string& path) const {
  return Url("127.0.0.1", path);
}

std::string SiteServer::Url(const std::string& host, const std::string& path) const {
  return "http://" + host + ":" + std::to_string(port_) + path;
}

void SiteServer::Route(const std::string& target, std::vector<std::string> replies) {
  std::lock_guard lock(mutex_);
  routes_[target] = std::move(replies);
  served_[target] = 0;
}

void SiteServer::Route(const std::string& target, std::string reply) {
  Route(target, std::vector<std::string>{std::move(reply)});
}

void SiteServer::Hold(const std::string& target) {
  std::lock_guard lock(mutex_);
  held_.insert(target);
}

void SiteServer::Release(const std::string& target) {
  {
    std::lock_guard lock(mutex_);
    held_.erase(target);
  }
  changed_.notify_all();
}

std::size_t SiteServer::Held() const {
  std::lock_guard lock(mutex_);
  return waiting_;
}

bool SiteServer::WaitForHeld(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return waiting_ >= count; });
}

std::vector<std::string> SiteServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::string> SiteServer::Targets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

std::size_t SiteServer::Count(const std::string& target) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const std::string& t : targets_) n += t == target ? 1 : 0;
  return n;
}

std::string SiteServer::RequestFor(const std::string& target, std::size_t n) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    if (targets_[i] == target && n-- == 0) return requests_[i];
  }
  return std::string();
}

std::string SiteServer::Reply(int status, const std::string& body, const std::string& headers,
                              bool with_length) {
  std::string reply = "HTTP/1.0 " + std::to_string(status) + " " + Reason(status) + "\r\n";
  reply += headers;
  if (with_length) reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return reply + "\r\n" + body;
}

std::string SiteServer::Html(const std::string& body) {
  return Typed("text/html", body);
}

std::string SiteServer::Typed(const std::string& content_type, const std::string& body) {
  return Reply(200, body, "Content-Type: " + content_type + "\r\n");
}

std::string SiteServer::Redirect(int status, const std::string& location) {
  return Reply(status, "", "Location: " + location + "\r\n");
}

void SiteServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN)) return;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    workers_.emplace_back([this, fd] { Serve(fd); });
  }
}

void SiteServer::Serve(int fd) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN)) break;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, static_cast<std::size_t>(n));
  }
  const std::size_t first_blank = request.find(' ');
  const std::size_t second_blank =
      first_blank == std::string::npos ? std::string::npos : request.find(' ', first_blank + 1);
  if (second_blank == std::string::npos) {
    ::close(fd);
    return;
  }
  const std::string target = request.substr(first_blank + 1, second_blank - first_blank - 1);
  std::string reply = Reply(404, "");
  {
    std::unique_lock lock(mutex_);
    requests_.push_back(request);
    targets_.push_back(target);
    if (held_.contains(target)) {
      ++waiting_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return stopping_ || !held_.contains(target); });
      --waiting_;
      if (stopping_) {
        lock.unlock();
        ::close(fd);
        return;
      }
    }
    if (auto it = routes_.find(target); it != routes_.end() && !it->second.empty()) {
      std::size_t& served = served_[target];
      reply = it->second[std::min(served, it->second.size() - 1)];
      ++served;
    }
  }
  SendAll(fd, reply);
  ::shutdown(fd, SHUT_WR);
  // Wait for the peer's close (or a moment), so that the reply is not cut by a reset.
  pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
  for (int i = 0; i < 50 && ::poll(fds, 2, 100) > 0 && !(fds[1].revents & POLLIN); ++i) {
    if (::recv(fd, buf, sizeof buf, 0) <= 0) break;
  }
  ::close(fd);
}

}  // namespace qlm::test
