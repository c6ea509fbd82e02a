#include "project/PatrolTimerWindow.h"

#include "platform/MessageIds.h"
#include "platform/Messaging.h"

namespace qlm {

PatrolTimerWindow::PatrolTimerWindow(CTimerDoc& timers, const WallClock& wall_clock,
                                     TimerActions& actions, std::function<bool()> timer_valid)
    : timers_(timers),
      wall_clock_(wall_clock),
      actions_(actions),
      timer_valid_(std::move(timer_valid)) {}

PatrolTimerWindow::~PatrolTimerWindow() {
  Destroy();
}

bool PatrolTimerWindow::Start() {
  if (!Create("QlmPatrolTimer")) return false;
  reference_ = wall_clock_.NowSeconds();
  return SetTimer(Handle(), kTimerId, kTickMs) == kTimerId;
}

void PatrolTimerWindow::Tick() {
  if (timer_valid_ && !timer_valid_()) return;
  const std::int64_t now = wall_clock_.NowSeconds();
  timers_.Evaluate(now, wall_clock_.ToLocal(now), reference_, actions_);
}

LResult PatrolTimerWindow::WindowProc(Message& msg) {
  if (msg.message == WM_TIMER && msg.wparam == kTimerId) Tick();
  return 0;
}

}  // namespace qlm
