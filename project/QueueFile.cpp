#include "project/QueueFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qlm {

namespace {

// Reads up to `size` bytes; fewer only where the file ends. The count read, or -1.
ssize_t PreadUpTo(int fd, uint64_t offset, unsigned char* bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

QueueFile::~QueueFile() {
  Close();
}

bool QueueFile::Open(const std::string& path, bool writable) {
  Close();
  path_ = path;
  fd_ = ::open(path.c_str(), writable ? O_RDWR | O_CLOEXEC : O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int error = errno;
    Close();
    errno = error;
    return false;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  if (writable) MapFile(size_);
  return true;
}

void QueueFile::Close() {
  UnmapFile();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  DropWindow();
}

void QueueFile::MapFile(uint64_t size) {
  UnmapFile();
  // Room to grow: twice the file, at least a mebibyte, as node offsets are 32-bit at most 4 GiB.
  const uint64_t want =
      std::min<uint64_t>(std::max<uint64_t>(2 * size, uint64_t{1} << 20), uint64_t{UINT32_MAX} + 1);
  void* at = ::mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (at == MAP_FAILED) return;  // the object writes and reads with system calls instead
  map_ = static_cast<unsigned char*>(at);
  map_size_ = want;
}

void QueueFile::TouchedMap() {
  if (++map_touches_ < kMapTouches) return;
  map_touches_ = 0;
  ::madvise(map_, map_size_, MADV_DONTNEED);
}

void QueueFile::UnmapFile() {
  if (map_) ::munmap(map_, map_size_);
  map_ = nullptr;
  map_size_ = 0;
}

bool QueueFile::Write(uint64_t offset, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  // The window takes the bytes only once they are in the file: after a failed write the queue
  // closes the file anyway.
  const uint64_t window_end = window_at_ + window_.size();
  const uint64_t from = std::max(offset, window_at_);
  const uint64_t to = std::min(offset + size, window_end);
  uint64_t at = offset;
  std::size_t left = size;
  const unsigned char* next = bytes;
  if (map_ && offset + size <= size_ && !InMap(offset, size)) MapFile(size_);
  if (InMap(offset, size)) {
    std::memcpy(map_ + offset, bytes, size);
    TouchedMap();
    left = 0;
  }
  while (left > 0) {
    const ssize_t n = ::pwrite(fd_, next, left, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    next += n;
    at += static_cast<uint64_t>(n);
    left -= static_cast<std::size_t>(n);
  }
  size_ = std::max(size_, offset + size);
  if (from < to) {
    std::memcpy(window_.data() + (from - window_at_), bytes + (from - offset), to - from);
  }
  // Bytes appended right behind the window join it while it has room: a short queue is read
  // soon after it was written.
  if (!window_.empty() && offset + size > window_end && offset <= window_end &&
      offset + size - window_at_ <= kWindowSize) {
    window_.insert(window_.end(), bytes + (window_end - offset), bytes + size);
  }
  return true;
}

bool QueueFile::Read(uint64_t offset, void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  if (InMap(offset, size)) {
    std::memcpy(bytes, map_ + offset, size);
    TouchedMap();
    return true;
  }
  if (size > kWindowSize) return PreadUpTo(fd_, offset, bytes, size) == static_cast<ssize_t>(size);
  if (offset < window_at_ || offset + size > window_at_ + window_.size()) {
    window_.resize(kWindowSize);
    window_at_ = offset;
    const ssize_t n = PreadUpTo(fd_, offset, window_.data(), window_.size());
    window_.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    if (window_.size() < size) return false;
  }
  std::memcpy(bytes, window_.data() + (offset - window_at_), size);
  return true;
}

bool QueueFile::Truncate(uint64_t size) {
  DropWindow();
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return false;
  size_ = size;
  return true;
}

bool QueueFile::Unchanged() {
  DropWindow();
  struct stat by_fd {};
  struct stat by_path {};
  return ::fstat(fd_, &by_fd) == 0 && ::stat(path_.c_str(), &by_path) == 0 &&
         by_fd.st_dev == by_path.st_dev && by_fd.st_ino == by_path.st_ino &&
         static_cast<uint64_t>(by_fd.st_size) == size_;
}

}  // namespace qlm
