#include "project/SystemWallClock.h"

#include <ctime>

namespace qlm {

std::int64_t SystemWallClock::NowSeconds() const {
  return static_cast<std::int64_t>(std::time(nullptr));
}

LocalTime SystemWallClock::ToLocal(std::int64_t seconds) const {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  LocalTime local;
  if (!localtime_r(&t, &tm)) return local;
  local.year = tm.tm_year + 1900;
  local.month = tm.tm_mon + 1;
  local.day = tm.tm_mday;
  local.weekday = (tm.tm_wday + 6) % 7;  // the C library counts from Sunday
  local.hour = tm.tm_hour;
  local.minute = tm.tm_min;
  local.second = tm.tm_sec;
  return local;
}

}  // namespace qlm
