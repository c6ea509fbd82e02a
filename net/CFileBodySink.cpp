#include "net/CFileBodySink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/FileTimes.h"

namespace qlm {

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

bool CFileBodySink::WriteBody(const char* data, size_t size) {
  if (fd_ < 0) {
    last_error_ = EBADF;
    return false;
  }
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
  }
  return true;
}

}  // namespace qlm
