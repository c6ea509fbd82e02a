#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "platform/Clock.h"
#include "platform/EpollPoller.h"
#include "platform/MessageLoop.h"
#include "platform/MonotonicClock.h"

namespace qlm {

// The platform's own loop, for the network worker thread and the headless program: it sleeps in
// epoll on the sockets of its thread, a wake-up descriptor for posts from other threads, and the
// next timer deadline. Each pass reads the clock once, queues the timers that came due, delivers
// the waiting messages one at a time, and runs idle work only when nothing waits, so a due WM_TIMER
// is always served before idle work.
class EventLoop final : public MessageLoop, private PollListener, private ClockListener {
 public:
  explicit EventLoop(Clock& clock = MonotonicClock::Instance());
  ~EventLoop() override;

  // False when the epoll instance or the wake-up descriptor could not be made; such a loop only
  // serves what RunPending finds.
  bool Valid() const { return poller_->Valid() && wake_fd_ >= 0; }

  // Runs until a quit request and returns its exit code.
  int Run();
  // Serves what is ready now (waiting messages, due timers, ready sockets) without sleeping and
  // without idle work, until nothing is left; returns the number of messages delivered.
  int RunPending();
  // Waits up to `max_wait_ms` real milliseconds (less when a timer comes due sooner) for something
  // to arrive unless something waits already, then serves what is ready as RunPending does. For
  // code that pumps the loop while it waits for a condition of its own.
  int RunFor(int max_wait_ms);

  // Idle work, called while no message waits with the number of calls since the last message;
  // it returns true while it has more to do. Without it the loop sleeps when the queue is empty.
  void SetIdleHandler(std::function<bool(long)> handler) { idle_handler_ = std::move(handler); }

  Poller* GetPoller() override { return poller_.get(); }
  std::shared_ptr<Poller> SharePoller() override { return poller_; }

 private:
  void Wake() override;
  void OnPollEvents(std::uint32_t events) override;  // the wake-up descriptor
  void OnClockMoved() override { Wake(); }
  int SleepTimeoutMs();

  std::shared_ptr<EpollPoller> poller_;    // shared with the sockets registered on it
  int wake_fd_;                            // eventfd; written by Wake from other threads
  std::atomic<bool> wake_pending_{false};  // a write to wake_fd_ has not been read yet
  const std::thread::id owner_;
  std::function<bool(long)> idle_handler_;
};

}  // namespace qlm
