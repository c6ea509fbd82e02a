#pragma once

#include <cstdint>

namespace qlm {

// Told by a Poller when a watched descriptor is ready.
class PollListener {
 public:
  virtual ~PollListener() = default;
  // `events` is a set of Poller::k* bits. A listener may watch, change or unwatch any descriptor
  // (its own included) from here.
  virtual void OnPollEvents(std::uint32_t events) = 0;
};

// Readiness of file descriptors for one thread's loop. Level-triggered: a descriptor that stays
// ready is reported again on every Wait until its interest changes.
class Poller {
 public:
  enum : std::uint32_t {
    kReadable = 1,  // data, a pending connection, or the end of the stream
    kWritable = 2,
    kPeerClosed = 4,  // the peer has shut down its sending side
    kError = 8,       // reported whether asked for or not
    kHangUp = 16,     // reported whether asked for or not
  };

  virtual ~Poller() = default;
  // Starts watching `fd` for `events`, or changes what is watched; false on failure.
  virtual bool Watch(int fd, std::uint32_t events, PollListener* listener) = 0;
  // Stops watching `fd`. Events of it already collected by a Wait in progress are not delivered.
  virtual void Unwatch(int fd) = 0;
  // Waits up to `timeout_ms` (-1: without limit, 0: not at all) and tells the listeners of every
  // ready descriptor. Returns the number of descriptors reported, or -1 on a failure of the wait.
  virtual int Wait(int timeout_ms) = 0;
};

}  // namespace qlm
