#include "picture/StepClock.h"

#include <chrono>
#include <thread>

namespace qlm {

uint32_t SystemStepClock::NowMs() {
  const auto since_boot = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since_boot).count());
}

void SystemStepClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace qlm
