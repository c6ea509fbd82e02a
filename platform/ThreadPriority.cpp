#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace qlm {

namespace {

// Ten steps below the default: about a tenth of a busy thread's share when they compete.
constexpr int kHelperNice = 10;

}  // namespace

void LowerThreadPriority() {
  // On Linux the priority set for a thread id is that thread's own.
  const id_t self = static_cast<id_t>(::gettid());
  const int now = ::getpriority(PRIO_PROCESS, self);
  if (now < kHelperNice) ::setpriority(PRIO_PROCESS, self, kHelperNice);
}

}  // namespace qlm
