#pragma once

#include <atomic>
#include <memory>

#include "platform/Clock.h"
#include "platform/EpollPoller.h"
#include "platform/MessageLoop.h"
#include "platform/MonotonicClock.h"

namespace qlm {

// The platform message loop of a Qt user-interface thread: windows created on that thread take
// posts, sends and timers like any other, and Qt's own event loop delivers them. A post from any
// thread wakes Qt with one queued event (further posts ride on it until it has been served); the
// earliest timer deadline arms a precise QTimer. A quit request ends the running Qt event loop
// with its code, as WM_QUIT ends the platform's own loop. Sockets of the thread (those of windows
// that other programs reach) are watched by an epoll set whose own descriptor Qt watches.
//
// Construct it on the Qt thread after the QCoreApplication, and destroy it there before the
// application object.
class QtMessageLoop final : public MessageLoop, private ClockListener {
 public:
  explicit QtMessageLoop(Clock& clock = MonotonicClock::Instance());
  ~QtMessageLoop() override;

  // Delivers what waits now: due timers and messages, at most kBatch of them before Qt gets a
  // turn again. Called by the loop's own Qt events; tests may call it directly.
  void Pump();

  Poller* GetPoller() override { return poller_.get(); }
  std::shared_ptr<Poller> SharePoller() override { return poller_; }

  // Messages delivered by one Pump before queued Qt events (paints, input) are served.
  static constexpr int kBatch = 64;

 private:
  class Driver;  // the QObject that receives the wake-up events and the timer

  void Wake() override;  // any thread, with the queue's lock held: only posts a Qt event
  void OnClockMoved() override { Wake(); }
  void ArmTimer();

  std::shared_ptr<EpollPoller> poller_;  // shared with the sockets registered on it
  std::unique_ptr<Driver> driver_;
  std::atomic<bool> wake_pending_{false};  // a wake-up event is on its way to driver_
};

}  // namespace qlm
