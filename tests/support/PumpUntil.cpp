#include "tests/support/PumpUntil.h"

namespace qlm::test {

bool PumpUntil(EventLoop& loop, const std::function<bool()>& done,
               std::chrono::milliseconds limit) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    loop.RunFor(20);
  }
  return true;
}

void PumpFor(EventLoop& loop, std::chrono::milliseconds how_long) {
  const auto until = std::chrono::steady_clock::now() + how_long;
  while (std::chrono::steady_clock::now() < until) loop.RunFor(5);
}

}  // namespace qlm::test
