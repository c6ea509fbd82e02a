#include "net/CFileBodySink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace qlm {

CFileBodySink::~CFileBodySink() {
  Close();
}

bool CFileBodySink::OpenWith(const std::string& path, int flags) {
  Close();
  fd_ = ::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    last_error_ = errno;
    return false;
  }
  last_error_ = 0;
  written_ = 0;
  return true;
}

bool CFileBodySink::Create(const std::string& path, bool exclusive) {
  return OpenWith(path, O_CREAT | O_TRUNC | (exclusive ? O_EXCL : 0));
}

bool CFileBodySink::OpenAppend(const std::string& path) {
  return OpenWith(path, O_CREAT | O_APPEND);
}

bool CFileBodySink::Close() {
  if (fd_ < 0) return true;
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) {
    last_error_ = errno;
    return false;
  }
  return true;
}

bool CFileBodySink::WriteBody(const char* data, size_t size) {
  if (fd_ < 0) {
    last_error_ = EBADF;
    return false;
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
