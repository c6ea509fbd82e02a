#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qlm {

// A manual-reset event: once set, every wait returns at once until it is reset. Threads use it to
// wait for another thread to be gone.
class Event {
 public:
  explicit Event(bool initially_set = false) : set_(initially_set) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set; false when `timeout` passed first.
  bool Wait(std::chrono::milliseconds timeout);
  void Wait();

 private:
  mutable std::mutex mutex_;
  std::condition_variable signal_;
  bool set_;  // guarded by mutex_
};

}  // namespace qlm
