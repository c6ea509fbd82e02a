#pragma once

#include <string>

namespace qlm {

// An exclusive lock on a file (flock), shared between processes and between objects of one
// process: two FileLock objects on the same path exclude each other even inside one process,
// because each holds its own open file. The kernel releases the lock when the holder dies, so a
// crashed program never leaves it taken. The file is created when missing and never removed
// (removing a lock file would let a late opener lock an orphaned file).
//
// Not re-entrant: a second Lock() on a held object returns true without locking twice. The
// descriptor is closed on exec, so programs started by the holder do not inherit the lock.
class FileLock {
 public:
  explicit FileLock(std::string path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock if nobody holds it; false at once otherwise (Error() is EWOULDBLOCK) or when
  // the file cannot be opened (Error() is the errno).
  bool TryLock();
  // Waits until the lock is free and takes it; false only when the file cannot be opened.
  bool Lock();
  // Releases the lock (closing the file); harmless when not held.
  void Unlock();

  bool IsHeld() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // errno of the last failure, 0 after a success.
  int Error() const { return error_; }

 private:
  bool Acquire(bool wait);

  std::string path_;
  int fd_ = -1;  // open and locked exactly while held
  int error_ = 0;
};

}  // namespace qlm
