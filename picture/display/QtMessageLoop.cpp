#include "picture/display/QtMessageLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <memory>

namespace qlm {

namespace {
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}  // namespace

class QtMessageLoop::Driver final : public QObject {
 public:
  Driver(QtMessageLoop* loop, EpollPoller& poller) : loop_(loop) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { loop_->Pump(); });
    if (poller.Valid()) {
      sockets_ = std::make_unique<QSocketNotifier>(poller.Fd(), QSocketNotifier::Read);
      // Level-triggered: what one Wait leaves unserved keeps the descriptor readable.
      QObject::connect(sockets_.get(), &QSocketNotifier::activated, this,
                       [&poller] { poller.Wait(0); });
    }
  }

  QTimer& Timer() { return timer_; }

 protected:
  void customEvent(QEvent* event) override {
    if (event->type() == kWakeEvent) loop_->Pump();
  }

 private:
  QtMessageLoop* loop_;
  QTimer timer_;
  std::unique_ptr<QSocketNotifier> sockets_;  // the epoll descriptor; null when it is unusable
};

QtMessageLoop::QtMessageLoop(Clock& clock)
    : MessageLoop(clock),
      poller_(std::make_shared<EpollPoller>()),
      driver_(std::make_unique<Driver>(this, *poller_)) {
  clock.AddListener(this);
}

QtMessageLoop::~QtMessageLoop() {
  GetClock().RemoveListener(this);
  // No Wake() may reach the driver once it is going.
  Shutdown();
  driver_.reset();
}

void QtMessageLoop::Wake() {
  if (wake_pending_.exchange(true, std::memory_order_acq_rel)) return;
  // postEvent is thread-safe and takes ownership; it never calls back into the queue.
  QCoreApplication::postEvent(driver_.get(), new QEvent(kWakeEvent));
}

void QtMessageLoop::Pump() {
  // Cleared before draining, so that a post arriving meanwhile queues a fresh wake-up.
  wake_pending_.store(false, std::memory_order_release);
  QueueDueTimers();
  int delivered = 0;
  while (delivered < kBatch && DispatchOne()) ++delivered;
  if (HasWaitingMessages()) Wake();  // the rest after Qt's own events
  int exit_code = 0;
  if (TakeQuit(&exit_code)) QCoreApplication::exit(exit_code);
  ArmTimer();
}

void QtMessageLoop::ArmTimer() {
  const std::int64_t deadline = NextTimerDeadline();
  QTimer& timer = driver_->Timer();
  if (deadline == INT64_MAX) {
    timer.stop();
    return;
  }
  // -1: a manual clock, which wakes the loop itself when it is moved.
  const int wait_ms = GetClock().SleepLimitMs(deadline);
  if (wait_ms < 0) {
    timer.stop();
    return;
  }
  timer.start(wait_ms);
}

}  // namespace qlm
