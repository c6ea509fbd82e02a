#include "platform/MonotonicClock.h"

#include <time.h>

#include <climits>

namespace qlm {

MonotonicClock& MonotonicClock::Instance() {
  static MonotonicClock clock;
  return clock;
}

std::int64_t MonotonicClock::NowMs() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int MonotonicClock::SleepLimitMs(std::int64_t deadline_ms) const {
  const std::int64_t left = deadline_ms - NowMs();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

}  // namespace qlm
