#include "picture/StepClock.h"

#include <chrono>
#include <thread>

#include "platform/MonotonicClock.h"

namespace qlm {

uint32_t SystemStepClock::NowMs() {
  // The low 32 bits of the programs' one real clock; step timing only takes differences.
  return static_cast<uint32_t>(MonotonicClock::Instance().NowMs());
}

void SystemStepClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace qlm
