#include "app/TimerLock.h"

#include <unistd.h>

#include <fstream>

#include "platform/WholeFile.h"

namespace qlm {

TimerLock::TimerLock() : mutex_(kName) {}

std::string TimerLock::NotePath() {
  const std::string lock = NamedMutex::PathFor(kName);
  return lock.empty() ? std::string() : lock + ".holder";
}

std::string TimerLock::Describe(bool desktop) {
  return std::string(desktop ? "QLM (desktop)" : "QLM --timers") + ", pid " +
         std::to_string(getpid());
}

bool TimerLock::Take(const std::string& holder) {
  if (!mutex_.TryLock()) return false;
  // The note is only for telling the user; a note that cannot be written leaves the lock held.
  std::ofstream note(NotePath(), std::ios::binary | std::ios::trunc);
  note << holder;
  return true;
}

std::string TimerLock::HolderText() {
  std::string holder;
  ReadWholeFile(NotePath(), holder);
  return holder.empty() ? std::string("another program") : holder;
}

}  // namespace qlm
