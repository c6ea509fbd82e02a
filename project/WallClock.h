#pragma once

#include <cstdint>

namespace qlm {

// The local calendar reading of an instant, as the patrol timers compare it.
struct LocalTime {
  int year = 1970;
  int month = 1;    // 1..12
  int day = 1;      // day of the month, 1..31
  int weekday = 3;  // 0 Monday .. 6 Sunday
  int hour = 0;     // 0..23
  int minute = 0;   // 0..59
  int second = 0;   // 0..60
};

// Wall-clock time: the instant in seconds since the epoch and its local reading. The programs use
// the system's clock and time zone (SystemWallClock); tests and scripted runs derive it from the
// message loops' clock (ClockWallClock), so that a patrol timer can be run through a midnight, a
// week's end or a short month without waiting.
class WallClock {
 public:
  virtual ~WallClock() = default;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual std::int64_t NowSeconds() const = 0;
  // The local reading of `seconds`.
  virtual LocalTime ToLocal(std::int64_t seconds) const = 0;
};

}  // namespace qlm
