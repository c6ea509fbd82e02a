#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/ManualClock.h"
#include "project/WallClock.h"

namespace qlm {

// The clocks of the headless timer runner: the real ones, or, for the end-to-end tests, test time
// that the test moves, so that the whole program (its message loops, every timer on them, and the
// wall-clock time the patrol timers read) runs on one manual clock.
//
// Test time is a hook for the tests, not an option: it is switched on by the environment variable
// QLM_TEST_CLOCK="EPOCH@SOCKET". The clock reads 0 at EPOCH (seconds since 1970; local time is
// UTC), and the program connects to the Unix-domain stream socket SOCKET, on which the test
// listens, and serves it:
//   program -> test  "ready SECONDS\n"   once the patrol timers run;
//   test -> program  "advance MS\n"      the clock moves MS milliseconds forward;
//   program -> test  "now SECONDS\n"     after the move, once the main loop has served every timer
//                                        that came due by it (its output is written by then).
// One advance at a time: the test waits for "now" before it sends the next.
class ProgramClock {
 public:
  static constexpr const char* kVariable = "QLM_TEST_CLOCK";

  // Real time, or test time when QLM_TEST_CLOCK is set; nullptr with `error` when it is set but
  // cannot be used.
  static std::unique_ptr<ProgramClock> Make(std::string* error);
  ~ProgramClock();
  ProgramClock(const ProgramClock&) = delete;
  ProgramClock& operator=(const ProgramClock&) = delete;

  Clock& LoopClock() { return *loop_clock_; }
  const WallClock& Wall() const { return *wall_; }
  bool IsTestTime() const { return manual_ != nullptr; }

  // The test's control channel, served on the calling thread's loop while the object lives.
  class Control {
   public:
    virtual ~Control() = default;
  };
  // Test time: tells the test "ready" and serves its commands until the returned object goes
  // (destroy it before the loop). Real time: nullptr, nothing to serve. Call after the threads
  // that must not take signals have them blocked.
  std::unique_ptr<Control> Serve();

 private:
  class Channel;
  ProgramClock() = default;

  std::unique_ptr<ManualClock> manual_;
  std::unique_ptr<WallClock> wall_;
  Clock* loop_clock_ = nullptr;
  int fd_ = -1;  // the connected control socket (test time)
};

}  // namespace qlm
