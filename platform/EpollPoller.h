#pragma once

#include <cstdint>
#include <unordered_map>

#include "platform/Poller.h"

namespace qlm {

// The Linux Poller: one epoll instance. Each watch gets a serial number that epoll carries with
// the event, so an event collected for a descriptor that was closed and reused during the same
// Wait never reaches the new listener.
class EpollPoller final : public Poller {
 public:
  EpollPoller();
  ~EpollPoller() override;
  EpollPoller(const EpollPoller&) = delete;
  EpollPoller& operator=(const EpollPoller&) = delete;

  // False when the epoll instance could not be created (every Watch then fails).
  bool Valid() const { return epoll_fd_ >= 0; }
  // The epoll descriptor: readable while any watched descriptor is ready, so another event loop
  // can wait on it and call Wait(0) when it fires. -1 when not Valid().
  int Fd() const { return epoll_fd_; }

  bool Watch(int fd, std::uint32_t events, PollListener* listener) override;
  void Unwatch(int fd) override;
  int Wait(int timeout_ms) override;

 private:
  struct Entry {
    std::uint64_t serial;
    PollListener* listener;
  };
  int epoll_fd_;
  std::unordered_map<int, Entry> by_fd_;
  std::unordered_map<std::uint64_t, int> fd_by_serial_;
  std::uint64_t next_serial_ = 1;
};

}  // namespace qlm
