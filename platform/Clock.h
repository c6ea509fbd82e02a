#pragma once

#include <cstdint>

namespace qlm {

// Something that sleeps until a time on a clock can be reached (a message loop); a clock that
// moves by other means than real time wakes its listeners so they can look again.
class ClockListener {
 public:
  virtual ~ClockListener() = default;
  // Called on the thread that moved the clock; must not block.
  virtual void OnClockMoved() = 0;
};

// Time as the message loops and their timers see it: milliseconds since an arbitrary start, never
// going backwards. Programs use MonotonicClock; tests use ManualClock and move it by hand, so that
// a limit of a minute is tested in microseconds.
class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since the clock's start.
  virtual std::int64_t NowMs() const = 0;

  // How long, in real milliseconds, a loop may sleep before `deadline_ms` could have been reached:
  // 0 when it has been, -1 when only a listener call can bring it closer (a manual clock).
  virtual int SleepLimitMs(std::int64_t deadline_ms) const = 0;

  // Listeners are told when the clock moves by other means than real time passing.
  virtual void AddListener(ClockListener* listener) = 0;
  virtual void RemoveListener(ClockListener* listener) = 0;
};

}  // namespace qlm
