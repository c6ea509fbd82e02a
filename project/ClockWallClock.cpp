#include "project/ClockWallClock.h"

namespace qlm {

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, computed by era arithmetic
// rather than through the C library, so that no time zone of the process takes part.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

std::int64_t ClockWallClock::NowSeconds() const {
  return epoch_at_zero_ + FloorDiv(clock_.NowMs(), 1000);
}

LocalTime ClockWallClock::ToLocal(std::int64_t seconds) const {
  const std::int64_t local_seconds = seconds + utc_offset_seconds_;
  const std::int64_t days = FloorDiv(local_seconds, 86400);
  const std::int64_t in_day = local_seconds - days * 86400;
  LocalTime local;
  CivilFromDays(days, local.year, local.month, local.day);
  // 1970-01-01 was a Thursday (3 when Monday is 0).
  local.weekday = static_cast<int>(((days % 7) + 7 + 3) % 7);
  local.hour = static_cast<int>(in_day / 3600);
  local.minute = static_cast<int>(in_day / 60 % 60);
  local.second = static_cast<int>(in_day % 60);
  return local;
}

std::int64_t ClockWallClock::FromLocal(int year, int month, int day, int hour, int minute,
                                       int second) const {
  const std::int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return days * 86400 + hour * 3600 + minute * 60 + second - utc_offset_seconds_;
}

}  // namespace qlm
