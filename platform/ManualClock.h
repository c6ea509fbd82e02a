#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/Clock.h"

namespace qlm {

// A clock that only moves when told to: tests advance it and every loop that sleeps on it wakes up
// to serve the timers that have come due. Safe to advance from any thread.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::int64_t start_ms = 0) : now_ms_(start_ms) {}

  std::int64_t NowMs() const override;
  int SleepLimitMs(std::int64_t deadline_ms) const override;
  void AddListener(ClockListener* listener) override;
  void RemoveListener(ClockListener* listener) override;

  // Moves the clock forward by `ms` (negative values are ignored) and wakes the listeners.
  void Advance(std::int64_t ms);

 private:
  mutable std::mutex mutex_;
  std::int64_t now_ms_;                    // guarded by mutex_
  std::vector<ClockListener*> listeners_;  // guarded by mutex_; told under the lock
};

}  // namespace qlm
