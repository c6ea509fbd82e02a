#pragma once

#include <cstdint>

#include "platform/Clock.h"
#include "project/WallClock.h"

namespace qlm {

// Wall-clock time that moves with a message-loop clock: the instant is a fixed epoch time at the
// clock's zero plus the clock's reading, and the local reading is that instant in a fixed offset
// from UTC (no daylight saving). With a ManualClock a test moves loops, timers and wall-clock time
// together.
class ClockWallClock final : public WallClock {
 public:
  // `epoch_at_zero`: seconds since the epoch when `clock` reads 0; `utc_offset_seconds`: local time
  // minus UTC.
  ClockWallClock(const Clock& clock, std::int64_t epoch_at_zero, int utc_offset_seconds = 0)
      : clock_(clock), epoch_at_zero_(epoch_at_zero), utc_offset_seconds_(utc_offset_seconds) {}

  std::int64_t NowSeconds() const override;
  LocalTime ToLocal(std::int64_t seconds) const override;

  // Seconds since the epoch of a local calendar time in this clock's offset; the inverse of
  // ToLocal for valid dates.
  std::int64_t FromLocal(int year, int month, int day, int hour, int minute, int second = 0) const;

 private:
  const Clock& clock_;
  std::int64_t epoch_at_zero_;
  int utc_offset_seconds_;
};

}  // namespace qlm
