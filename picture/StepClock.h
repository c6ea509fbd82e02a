#pragma once

#include <cstdint>

namespace qlm {

// The millisecond clock and the sleep that pace a transition. Displays use SystemStepClock; tests
// put in a clock that moves only when told, so that step timing is checked without waiting.
class StepClock {
 public:
  virtual ~StepClock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32 (differences stay right across it).
  virtual uint32_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// The programs' monotonic clock (MonotonicClock) and a real sleep.
class SystemStepClock final : public StepClock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

}  // namespace qlm
