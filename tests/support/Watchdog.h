#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Message.h"

namespace qlm::test {

// Every test that runs a message loop or waits on another thread keeps one of these: if the test
// has not finished within the limit it fails instead of hanging. With a loop's thread id the
// watchdog first asks that loop to quit, so the test can go on and report; if the test is still
// stuck a moment later, the program is aborted with a message.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::milliseconds limit = std::chrono::seconds(20), ThreadId loop = 0);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  bool Fired() const;

 private:
  void Watch(std::chrono::milliseconds limit, ThreadId loop);

  mutable std::mutex mutex_;
  std::condition_variable done_signal_;
  bool done_ = false;   // guarded by mutex_
  bool fired_ = false;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace qlm::test
