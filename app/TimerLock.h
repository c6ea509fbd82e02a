#pragma once

#include <string>

#include "platform/NamedMutex.h"

namespace qlm {

// The patrol timers run in one program at a time: the desktop program while it runs, else a
// `QLM --timers`. Each takes this lock at its start and notes beside it who it is, so that a
// second one can say which program holds the timers; the kernel releases the lock when its holder
// dies.
class TimerLock {
 public:
  static constexpr const char* kName = "Quillmere Patrol Timers";

  TimerLock();

  // Takes the lock without waiting and notes `holder` ("QLM (desktop), pid 42"); false when
  // another program holds it (HolderText() tells which) or the runtime folder is unusable.
  bool Take(const std::string& holder);
  bool Held() const { return mutex_.IsHeld(); }
  int Error() const { return mutex_.Error(); }

  // What the holder noted; "another program" when it noted nothing readable.
  static std::string HolderText();
  // The note's path beside the lock file; empty when the runtime folder is unusable.
  static std::string NotePath();
  // "QLM (desktop), pid N" or "QLM --timers, pid N" for this process.
  static std::string Describe(bool desktop);

 private:
  NamedMutex mutex_;
};

}  // namespace qlm
