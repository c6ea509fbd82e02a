#pragma once

#include <string>

#include "platform/FileLock.h"

namespace qlm {

// A mutex that processes find by name, such as "Quillmere Download Engine", which the running main
// program holds so that a second start can tell that it is not alone. It is a FileLock on a file
// in the runtime folder named after the mutex; a holder that dies releases it.
class NamedMutex {
 public:
  explicit NamedMutex(const std::string& name);

  // Takes the mutex without waiting; false when another holder has it (Error() EWOULDBLOCK) or
  // the runtime folder or lock file is unusable (Error() the errno).
  bool TryLock() { return lock_.TryLock(); }
  // Waits for the mutex; false only when the lock file is unusable.
  bool Lock() { return lock_.Lock(); }
  void Unlock() { lock_.Unlock(); }
  bool IsHeld() const { return lock_.IsHeld(); }
  int Error() const { return lock_.Error(); }

  // The lock file for a name: the name with every byte other than a letter, digit, ".", "-" or
  // "_" written as %HH, so that distinct names never share a file and no name leaves the folder.
  // Empty when the runtime folder is unusable.
  static std::string PathFor(const std::string& name);

 private:
  FileLock lock_;
};

}  // namespace qlm
