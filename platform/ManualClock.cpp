#include "platform/ManualClock.h"

#include <algorithm>

namespace qlm {

std::int64_t ManualClock::NowMs() const {
  std::lock_guard lock(mutex_);
  return now_ms_;
}

int ManualClock::SleepLimitMs(std::int64_t deadline_ms) const {
  return deadline_ms <= NowMs() ? 0 : -1;
}

void ManualClock::AddListener(ClockListener* listener) {
  std::lock_guard lock(mutex_);
  listeners_.push_back(listener);
}

void ManualClock::RemoveListener(ClockListener* listener) {
  std::lock_guard lock(mutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void ManualClock::Advance(std::int64_t ms) {
  std::lock_guard lock(mutex_);
  if (ms > 0) now_ms_ += ms;
  // Told under the lock so that a listener being removed on another thread is never called after
  // RemoveListener has returned.
  for (ClockListener* listener : listeners_) listener->OnClockMoved();
}

}  // namespace qlm
