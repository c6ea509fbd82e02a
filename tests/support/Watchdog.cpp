#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/MessageIds.h"
#include "platform/Messaging.h"

namespace qlm::test {

Watchdog::Watchdog(std::chrono::milliseconds limit, ThreadId loop)
    : thread_([this, limit, loop] { Watch(limit, loop); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  done_signal_.notify_all();
  thread_.join();
}

bool Watchdog::Fired() const {
  std::lock_guard lock(mutex_);
  return fired_;
}

void Watchdog::Watch(std::chrono::milliseconds limit, ThreadId loop) {
  std::unique_lock lock(mutex_);
  if (done_signal_.wait_for(lock, limit, [this] { return done_; })) return;
  fired_ = true;
  ADD_FAILURE() << "watchdog: the test did not finish within " << limit.count() << " ms";
  if (loop != 0) {
    PostThreadMessage(loop, WM_QUIT, 99);
    if (done_signal_.wait_for(lock, std::chrono::seconds(5), [this] { return done_; })) return;
  }
  std::fprintf(stderr, "watchdog: test hung, aborting\n");
  std::abort();
}

}  // namespace qlm::test
