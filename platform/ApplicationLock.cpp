#include "platform/ApplicationLock.h"

namespace qlm {

std::recursive_mutex& ApplicationLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace qlm
