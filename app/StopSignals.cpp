#include "app/StopSignals.h"

#include <unistd.h>

#include <csignal>

namespace qlm {

namespace {

// The watcher's own wake-up at the end; blocked like the others, so it only reaches sigwait.
constexpr int kEndSignal = SIGUSR2;

sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, kEndSignal);
  return set;
}

}  // namespace

StopSignals::StopSignals(std::function<void()> on_stop, int exit_code)
    : on_stop_(std::move(on_stop)), exit_code_(exit_code) {
  const sigset_t set = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, &old_mask_);
  watcher_ = std::thread([this] { Watch(); });
}

StopSignals::~StopSignals() {
  pthread_kill(watcher_.native_handle(), kEndSignal);
  watcher_.join();
  // A stop signal that came while nothing watched any more is dropped rather than delivered to
  // the default action when the mask is restored: the program is ending anyway.
  sigset_t pending;
  sigpending(&pending);
  for (int sig : {SIGINT, SIGTERM}) {
    if (sigismember(&pending, sig)) {
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, sig);
      int taken;
      sigwait(&one, &taken);
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
}

void StopSignals::Watch() {
  const sigset_t set = WatchedSignals();
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (sig == kEndSignal) return;
    if (stopped_) _exit(exit_code_);
    stopped_ = true;
    if (on_stop_) on_stop_();
  }
}

}  // namespace qlm
