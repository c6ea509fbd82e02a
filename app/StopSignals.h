#pragma once

#include <pthread.h>

#include <atomic>
#include <functional>
#include <thread>

namespace qlm {

// SIGINT and SIGTERM of the headless modes: the first one asks for an orderly stop (`on_stop`,
// called on a thread of its own, so it may only post messages), a second one ends the process at
// once with `exit_code`. Construct it on the main thread before any other thread starts: the
// signals are blocked in the calling thread, every thread it starts inherits that, and a watcher
// thread takes them with sigwait, so no code runs inside a signal handler.
class StopSignals {
 public:
  StopSignals(std::function<void()> on_stop, int exit_code);
  // Ends the watcher and restores the signal mask of the calling thread.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Whether a stop was asked for.
  bool Stopped() const { return stopped_; }

 private:
  void Watch();

  std::function<void()> on_stop_;
  int exit_code_;
  sigset_t old_mask_;
  std::atomic<bool> stopped_{false};  // set by the watcher before on_stop_ runs
  std::thread watcher_;
};

}  // namespace qlm
