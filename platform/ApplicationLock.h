#pragma once

#include <mutex>

namespace qlm {

// The application lock: the one process-wide mutex held around work on the project and mirror
// folders, the queue files and the process's current folder (which mirror writes change).
//
// It is recursive because the work it guards nests: storing a file holds it while it builds the
// local name and creates folders, which take it as well. Lock it through std::lock_guard or
// std::unique_lock; it is never held across a wait for another thread.
std::recursive_mutex& ApplicationLock();

}  // namespace qlm
