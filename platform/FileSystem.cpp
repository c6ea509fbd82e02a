#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileTimes.h"

namespace qlm {

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsPlainFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<FileTime> LastWriteTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return WriteTimeOf(st);
}

std::optional<FileTime> RegularFileWritten(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return WriteTimeOf(st);
}

int MakeParentFolders(const std::string& file_path, std::vector<std::string>* made) {
  const std::size_t last = file_path.rfind('/');
  if (last == std::string::npos || last == 0) return 0;
  std::size_t pos = 1;
  while (pos <= last) {
    const std::size_t slash = file_path.find('/', pos);
    if (slash > pos) {  // an empty component ("//") names the same folder again
      std::string folder = file_path.substr(0, slash);
      if (::mkdir(folder.c_str(), 0777) != 0) {
        if (errno != EEXIST) return errno;
        if (!IsFolder(folder)) return ENOTDIR;
      } else if (made) {
        made->push_back(std::move(folder));
      }
    }
    pos = slash + 1;
  }
  return 0;
}

namespace {

// rename(2), or with RENAME_EXCHANGE / RENAME_NOREPLACE; EINVAL when the file system cannot do
// the flags.
int Rename(const std::string& from, const std::string& to, unsigned flags) {
  const int result = flags == 0 ? ::rename(from.c_str(), to.c_str())
                                : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
  return result == 0 ? 0 : errno;
}

// `*swapped` is set when `source` holds the old file afterwards.
int MoveOnce(const std::string& source, const std::string& target, bool replacing, bool* swapped) {
  *swapped = false;
  if (replacing) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      const int error = Rename(source, target, RENAME_EXCHANGE);
      *swapped = error == 0;
      // Gone meanwhile (or no exchange on this file system): the steps below find out what to do.
      if (error != ENOENT && error != EINVAL && error != ENOSYS) return error;
    }
  }
  int error = Rename(source, target, RENAME_NOREPLACE);
  if (error == EEXIST) {
    // Only a regular file is swapped out: a folder (or anything else) under the name is never
    // moved into the work folder; the plain rename fails on a folder as it should.
    struct stat st {};
    const bool regular = ::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    error = regular ? Rename(source, target, RENAME_EXCHANGE) : Rename(source, target, 0);
    *swapped = regular && error == 0;
  }
  if (error == EINVAL || error == ENOSYS) error = Rename(source, target, 0);
  return error;
}

}  // namespace

int MoveIntoPlace(const std::string& source, const std::string& target, bool replacing,
                  bool* swapped, std::vector<std::string>* made_folders) {
  bool exchanged = false;
  int error = MoveOnce(source, target, replacing, &exchanged);
  if (error == ENOENT || error == ENOTDIR) {
    // The folders on the way are made only when the first try finds them missing: most names go
    // into folders that exist.
    if (const int folders = MakeParentFolders(target, made_folders); folders != 0) return folders;
    error = MoveOnce(source, target, false, &exchanged);
  }
  if (swapped) *swapped = error == 0 && exchanged;
  return error;
}

int SyncFileSystem(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::syncfs(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

void RemoveEmptyFolders(std::string folder, std::string_view stop) {
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  while (!stop.empty() && stop.back() == '/') stop.remove_suffix(1);
  // Only folders strictly below `stop` are removed.
  while (folder.size() > stop.size() && folder.starts_with(stop) && folder[stop.size()] == '/') {
    if (::rmdir(folder.c_str()) != 0) return;
    folder.resize(folder.rfind('/'));
  }
}

}  // namespace qlm
