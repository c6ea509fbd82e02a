#include "platform/EventLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

namespace qlm {

namespace {
// Messages delivered per pass before sockets and timers are looked at again, so that a long chain
// of posted steps cannot hold back readiness or a time limit.
constexpr int kMessagesPerPass = 64;
}  // namespace

EventLoop::EventLoop(Clock& clock)
    : MessageLoop(clock),
      poller_(std::make_shared<EpollPoller>()),
      wake_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      owner_(std::this_thread::get_id()) {
  if (wake_fd_ >= 0) poller_->Watch(wake_fd_, Poller::kReadable, this);
  clock.AddListener(this);
}

EventLoop::~EventLoop() {
  GetClock().RemoveListener(this);
  Shutdown();
  if (wake_fd_ >= 0) {
    poller_->Unwatch(wake_fd_);
    close(wake_fd_);
  }
}

void EventLoop::Wake() {
  // The owning thread looks at the queue before it sleeps again, so it needs no signal.
  if (std::this_thread::get_id() == owner_ || wake_fd_ < 0) return;
  if (!wake_pending_.exchange(true)) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
  }
}

void EventLoop::OnPollEvents(std::uint32_t) {
  std::uint64_t count = 0;
  [[maybe_unused]] ssize_t n = read(wake_fd_, &count, sizeof count);
  // Cleared after the read: a Wake in between writes nothing, but its message is already queued
  // and this pass looks at the queue before sleeping.
  wake_pending_ = false;
}

int EventLoop::SleepTimeoutMs() {
  const std::int64_t deadline = NextTimerDeadline();
  if (deadline == INT64_MAX) return -1;
  return GetClock().SleepLimitMs(deadline);
}

int EventLoop::Run() {
  long idle_count = 0;
  bool idle_wanted = true;
  // The sleep that just ended reported at most one ready descriptor: it saw everything that was
  // ready then, so the pass that follows needs no poll of its own (one system call less for
  // every wakeup by a message from another thread).
  bool just_polled = false;
  SetDeferPosts(true);
  for (;;) {
    FlushPosts();  // a pass is over: what this thread posted to other loops goes to them
    if (!just_polled) poller_->Wait(0);
    just_polled = false;
    QueueDueTimers();
    int delivered = 0;
    while (delivered < kMessagesPerPass && DispatchOne()) ++delivered;
    if (delivered > 0) {
      idle_wanted = true;
      idle_count = 0;
      continue;
    }
    int exit_code = 0;
    if (TakeQuit(&exit_code)) {
      SetDeferPosts(false);
      return exit_code;
    }
    if (idle_wanted && idle_handler_) {
      idle_wanted = idle_handler_(idle_count++);
      continue;
    }
    FlushPosts();  // socket handlers in the poll above may have posted
    const int ready = poller_->Wait(SleepTimeoutMs());
    just_polled = ready == 0 || ready == 1;
  }
}

int EventLoop::RunPending() {
  int delivered = 0;
  for (;;) {
    poller_->Wait(0);
    QueueDueTimers();
    if (!DispatchOne()) return delivered;
    ++delivered;
  }
}

int EventLoop::RunFor(int max_wait_ms) {
  QueueDueTimers();
  if (!HasWaitingMessages()) {
    const int until_timer = SleepTimeoutMs();
    poller_->Wait(until_timer >= 0 && until_timer < max_wait_ms ? until_timer : max_wait_ms);
  }
  return RunPending();
}

}  // namespace qlm
