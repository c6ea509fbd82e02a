#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Folders.h"
#include "platform/ObjectName.h"

namespace qlm {

namespace {

// FNV-1a: short, stable across programs and runs, which is all the name needs.
std::uint64_t NameHash(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
  return hash;
}

}  // namespace

std::string SharedMemory::ObjectName(const std::string& name, uid_t uid) {
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return {};
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "/quillmere-%u-%016llx-", static_cast<unsigned>(uid),
                static_cast<unsigned long long>(NameHash(folder)));
  return prefix + EscapeObjectName(name);
}

bool SharedMemory::Fail(int fd) {
  error_ = errno ? errno : EIO;
  if (fd >= 0) close(fd);
  if (!created_.empty()) shm_unlink(created_.c_str());
  created_.clear();
  errno = error_;
  return false;
}

bool SharedMemory::Create(const std::string& name, size_t size) {
  Close();
  error_ = 0;
  const std::string object = ObjectName(name, geteuid());
  if (object.empty()) return Fail(-1);
  if (size == 0) {
    errno = EINVAL;
    return Fail(-1);
  }
  // Created anew for every block: whatever is left under the name goes, and O_EXCL makes sure
  // that what we write into is ours.
  shm_unlink(object.c_str());
  const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Fail(-1);
  created_ = object;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return Fail(fd);
  // Without the reservation a full tmpfs would kill the writer with SIGBUS in the middle of a
  // picture; with it the failure is an error code here.
  if (const int error = posix_fallocate(fd, 0, static_cast<off_t>(size)); error != 0) {
    errno = error;
    return Fail(fd);
  }
  void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) return Fail(fd);
  close(fd);
  data_ = static_cast<std::uint8_t*>(map);
  size_ = size;
  return true;
}

bool SharedMemory::OpenForReading(const std::string& name) {
  Close();
  error_ = 0;
  const std::string object = ObjectName(name, geteuid());
  if (object.empty()) return Fail(-1);
  const int fd = shm_open(object.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return Fail(-1);
  struct stat st;
  if (fstat(fd, &st) != 0) return Fail(fd);
  if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
    errno = EPERM;
    return Fail(fd);
  }
  if (st.st_size <= 0) {
    errno = ENODATA;
    return Fail(fd);
  }
  const size_t size = static_cast<size_t>(st.st_size);
  void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) return Fail(fd);
  close(fd);
  data_ = static_cast<std::uint8_t*>(map);
  size_ = size;
  return true;
}

void SharedMemory::Close() {
  if (data_) munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  if (!created_.empty()) shm_unlink(created_.c_str());
  created_.clear();
}

}  // namespace qlm
