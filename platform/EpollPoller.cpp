#include "platform/EpollPoller.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

namespace qlm {

namespace {

std::uint32_t ToEpoll(std::uint32_t events) {
  std::uint32_t out = 0;
  if (events & Poller::kReadable) out |= EPOLLIN;
  if (events & Poller::kWritable) out |= EPOLLOUT;
  if (events & Poller::kPeerClosed) out |= EPOLLRDHUP;
  return out;
}

std::uint32_t FromEpoll(std::uint32_t events) {
  std::uint32_t out = 0;
  if (events & EPOLLIN) out |= Poller::kReadable;
  if (events & EPOLLOUT) out |= Poller::kWritable;
  if (events & EPOLLRDHUP) out |= Poller::kPeerClosed;
  if (events & EPOLLERR) out |= Poller::kError;
  if (events & EPOLLHUP) out |= Poller::kHangUp;
  return out;
}

}  // namespace

EpollPoller::EpollPoller() : epoll_fd_(epoll_create1(EPOLL_CLOEXEC)) {}

EpollPoller::~EpollPoller() {
  if (epoll_fd_ >= 0) close(epoll_fd_);
}

bool EpollPoller::Watch(int fd, std::uint32_t events, PollListener* listener) {
  if (epoll_fd_ < 0) return false;
  auto it = by_fd_.find(fd);
  const bool known = it != by_fd_.end();
  const std::uint64_t serial = known ? it->second.serial : next_serial_++;
  epoll_event ev{};
  ev.events = ToEpoll(events);
  ev.data.u64 = serial;
  if (epoll_ctl(epoll_fd_, known ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) != 0) return false;
  if (known) {
    it->second.listener = listener;
  } else {
    by_fd_.emplace(fd, Entry{serial, listener});
    fd_by_serial_.emplace(serial, fd);
  }
  return true;
}

void EpollPoller::Unwatch(int fd) {
  auto it = by_fd_.find(fd);
  if (it == by_fd_.end()) return;
  epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
  fd_by_serial_.erase(it->second.serial);
  by_fd_.erase(it);
}

int EpollPoller::Wait(int timeout_ms) {
  if (epoll_fd_ < 0) return -1;
  epoll_event events[64];
  const int n = epoll_wait(epoll_fd_, events, 64, timeout_ms);
  if (n < 0) return errno == EINTR ? 0 : -1;
  for (int i = 0; i < n; ++i) {
    // Looked up afresh for each event: an earlier listener may have unwatched this one.
    auto serial_it = fd_by_serial_.find(events[i].data.u64);
    if (serial_it == fd_by_serial_.end()) continue;
    PollListener* listener = by_fd_.at(serial_it->second).listener;
    listener->OnPollEvents(FromEpoll(events[i].events));
  }
  return n;
}

}  // namespace qlm
