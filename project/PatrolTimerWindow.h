#pragma once

#include <cstdint>
#include <functional>

#include "platform/Window.h"
#include "project/CTimerDoc.h"
#include "project/TimerActions.h"
#include "project/WallClock.h"

namespace qlm {

// The one-minute tick of the patrol timers: a hidden window whose timer 1 evaluates the timer list
// every 60 000 ms of its loop's clock, while the timer switch is on. The main frame and the
// headless timer runner each own one on their user-interface thread.
//
// The reference from which Interval timers count is the wall-clock time at Start(), the start of
// the program; it is never changed afterwards.
class PatrolTimerWindow : public Window {
 public:
  static constexpr std::uint64_t kTimerId = 1;
  static constexpr std::uint32_t kTickMs = 60000;

  // `timer_valid` is asked at every tick (the "TimerValid" setting may be switched at any time);
  // while it answers false a tick does nothing and remembers nothing. All references must outlive
  // the window.
  PatrolTimerWindow(CTimerDoc& timers, const WallClock& wall_clock, TimerActions& actions,
                    std::function<bool()> timer_valid);
  ~PatrolTimerWindow() override;

  // Creates the window on the calling thread's loop, notes the reference time and starts the
  // tick. False when the thread has no loop or the window runs already.
  bool Start();

  // One evaluation now, as a tick does.
  void Tick();

  std::int64_t Reference() const { return reference_; }

 protected:
  LResult WindowProc(Message& msg) override;

 private:
  CTimerDoc& timers_;
  const WallClock& wall_clock_;
  TimerActions& actions_;
  std::function<bool()> timer_valid_;
  std::int64_t reference_ = 0;  // wall-clock seconds at Start()
};

}  // namespace qlm
