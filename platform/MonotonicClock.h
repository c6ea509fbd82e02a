#pragma once

#include "platform/Clock.h"

namespace qlm {

// The real clock of the programs: CLOCK_MONOTONIC in milliseconds. It moves with real time, so it
// keeps no listeners.
class MonotonicClock final : public Clock {
 public:
  // The one instance every program loop uses unless told otherwise.
  static MonotonicClock& Instance();

  std::int64_t NowMs() const override;
  int SleepLimitMs(std::int64_t deadline_ms) const override;
  void AddListener(ClockListener*) override {}
  void RemoveListener(ClockListener*) override {}
};

}  // namespace qlm
