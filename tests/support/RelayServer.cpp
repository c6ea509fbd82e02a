#include "tests/support/RelayServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace qlm::test {

namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The value of header `name` in a request head, blanks around it removed; empty when absent.
std::string HeaderValue(const std::string& head, const std::string& name) {
  std::size_t line = head.find('\n');
  while (line != std::string::npos && line + 1 < head.size()) {
    const std::size_t start = line + 1;
    line = head.find('\n', start);
    const std::string text = head.substr(start, line == std::string::npos ? line : line - start);
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon != name.size() ||
        ::strncasecmp(text.c_str(), name.c_str(), name.size()) != 0) {
      continue;
    }
    std::string value = text.substr(colon + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    value.erase(0, value.find_first_not_of(' '));
    return value;
  }
  return {};
}

}  // namespace

RelayServer::RelayServer(Options options) : options_(std::move(options)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (listen_fd_ < 0 ||
      ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_fd_, 16) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this] { AcceptLoop(); });
}

RelayServer::~RelayServer() {
  if (stop_fd_ >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stop_fd_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (stop_fd_ >= 0) ::close(stop_fd_);
}

std::size_t RelayServer::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

std::size_t RelayServer::BytesBack(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() ? connections_[index].bytes_back : 0;
}

std::string RelayServer::ConnectHead(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() ? connections_[index].connect_head : std::string();
}

void RelayServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    const int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client);
    ::close(client);
  }
}

bool RelayServer::ReadHead(int client, std::string* head) const {
  char buffer[1024];
  while (head->find("\r\n\r\n") == std::string::npos) {
    pollfd fds[2] = {{client, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, 10000) <= 0 || fds[1].revents != 0) return false;
    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    head->append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

void RelayServer::Serve(int client) {
  std::size_t index;
  {
    std::lock_guard lock(mutex_);
    index = connections_.size();
    connections_.emplace_back();
  }
  if (options_.proxy) {
    std::string head;
    if (!ReadHead(client, &head)) return;
    {
      std::lock_guard lock(mutex_);
      connections_[index].connect_head = head;
    }
    const bool allowed = head.starts_with("CONNECT ") &&
                         (options_.credentials.empty() ||
                          HeaderValue(head, "Proxy-Authorization") == options_.credentials);
    const std::string reply = allowed ? "HTTP/1.0 200 Connection established\r\n\r\n"
                                      : "HTTP/1.0 407 Proxy Authentication Required\r\n"
                                        "Proxy-Authenticate: Basic realm=\"relay\"\r\n\r\n";
    if (!SendAll(client, reply.data(), reply.size()) || !allowed) return;
  }
  const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(options_.upstream_port);
  if (upstream >= 0 &&
      ::connect(upstream, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    Relay(client, upstream, index);
  }
  if (upstream >= 0) ::close(upstream);
}

void RelayServer::Relay(int client, int upstream, std::size_t index) {
  const std::size_t cut = cut_;
  std::size_t back = 0;
  char buffer[16384];
  while (back < cut) {
    pollfd fds[3] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 3, 10000) <= 0 || fds[2].revents != 0) return;
    if (fds[0].revents != 0) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0 || !SendAll(upstream, buffer, static_cast<std::size_t>(n))) return;
    }
    if (fds[1].revents != 0) {
      const std::size_t room = std::min(sizeof buffer, cut - back);
      const ssize_t n = ::recv(upstream, buffer, room, 0);
      if (n <= 0 || !SendAll(client, buffer, static_cast<std::size_t>(n))) return;
      back += static_cast<std::size_t>(n);
      std::lock_guard lock(mutex_);
      connections_[index].bytes_back = back;
    }
  }
}

}  // namespace qlm::test
