#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace qlm {

FileLock::FileLock(std::string path) : path_(std::move(path)) {}

FileLock::~FileLock() {
  Unlock();
}

bool FileLock::TryLock() {
  return Acquire(false);
}

bool FileLock::Lock() {
  return Acquire(true);
}

void FileLock::Unlock() {
  if (fd_ < 0) return;
  close(fd_);  // closing the only descriptor of the open file releases the flock
  fd_ = -1;
}

bool FileLock::Acquire(bool wait) {
  if (fd_ >= 0) return true;
  if (path_.empty()) {
    error_ = ENOENT;
    return false;
  }
  const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  int result;
  do {
    result = flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    error_ = errno;
    close(fd);
    return false;
  }
  fd_ = fd;
  error_ = 0;
  return true;
}

}  // namespace qlm
