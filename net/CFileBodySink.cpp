#include "net/CFileBodySink.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/FileTimes.h"

namespace qlm {

namespace {

// How far a body may grow between two looks at the free space, at most.
constexpr int64_t kFreeSpaceStep = 1 << 20;

}  // namespace

CFileBodySink::~CFileBodySink() {
  Close();
}

bool CFileBodySink::OpenWith(const std::string& path, int flags) {
  Close();
  const int fd = ::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0644);
  const int error = errno;
  Adopt(fd);
  if (fd < 0) last_error_ = error;
  return fd >= 0;
}

bool CFileBodySink::Create(const std::string& path, bool exclusive) {
  return OpenWith(path, O_CREAT | O_TRUNC | (exclusive ? O_EXCL : 0));
}

bool CFileBodySink::OpenAppend(const std::string& path) {
  return OpenWith(path, O_CREAT | O_APPEND);
}

bool CFileBodySink::Reopen(const std::string& path) {
  return OpenWith(path, O_TRUNC);
}

void CFileBodySink::Adopt(int fd) {
  Close();
  written_ = 0;
  kept_.clear();
  fd_ = fd;
  last_error_ = 0;
  refused_ = false;
  last_write_.reset();
}

bool CFileBodySink::Close() {
  if (fd_ < 0) return true;
  struct stat st {};
  if (::fstat(fd_, &st) == 0) last_write_ = WriteTimeOf(st);
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) {
    last_error_ = errno;
    last_write_.reset();
    return false;
  }
  return true;
}

bool CFileBodySink::WithinLimits(size_t size) {
  const int64_t after = written_ + static_cast<int64_t>(size);
  if (max_bytes_ > 0 && after > max_bytes_) {
    last_error_ = EFBIG;
    refused_ = true;
    return false;
  }
  const int64_t all_after = all_written_ + static_cast<int64_t>(size);
  if (reserve_bytes_ <= 0 || all_after <= checked_until_) return true;
  struct statvfs vfs {};
  if (::fstatvfs(fd_, &vfs) != 0) return true;  // the write itself tells what is wrong
  const auto free_bytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
  const int64_t headroom = free_bytes - static_cast<int64_t>(size) - reserve_bytes_;
  if (headroom < 0) {
    last_error_ = ENOSPC;
    refused_ = true;
    return false;
  }
  // Other writers share the file system: look again before this body alone could use up half of
  // what is left above the reserve.
  checked_until_ = all_after + std::min(kFreeSpaceStep, headroom / 2);
  return true;
}

bool CFileBodySink::WriteBody(const char* data, size_t size) {
  if (fd_ < 0) {
    // A file that could not be opened keeps the reason it gave.
    if (last_error_ == 0) last_error_ = EBADF;
    return false;
  }
  if (!WithinLimits(size)) return false;
  if (kept_.size() < keep_limit_ && static_cast<std::size_t>(written_) == kept_.size()) {
    kept_.append(data, std::min(size, keep_limit_ - kept_.size()));
  }
  while (size > 0) {
    ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      last_error_ = errno;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
    written_ += n;
    all_written_ += n;
  }
  return true;
}

}  // namespace qlm
