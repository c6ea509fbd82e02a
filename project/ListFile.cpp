#include "project/ListFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/WholeFile.h"

namespace qlm {

bool ReadOrCreateListFile(const std::string& path, std::string& bytes) {
  int error = 0;
  if (ReadWholeFile(path, bytes, &error)) return true;
  if (error != ENOENT) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool ReplaceListFile(const std::string& path, const std::string& bytes) {
  return ReplaceFileWithBytes(path, bytes, {.mode = 0644}) == 0;
}

}  // namespace qlm
