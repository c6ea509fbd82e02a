#include "crawl/MirrorFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileTimes.h"

namespace qlm {

int ReplaceFileVia(const std::string& staging, const std::string& target, std::string_view bytes,
                   bool replacing, std::optional<FileTime>* written) {
  // The staging file holds the file it last replaced: it is written over and then cut to its new
  // length rather than opened with O_TRUNC, as a file cut to nothing makes the file system write
  // it out at its close (it guards against a rewrite that a crash cuts off), one disk write per
  // page; the staging file needs no such care, a sync makes it durable when that matters.
  const int fd = ::open(staging.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  int error = WriteAll(fd, bytes);
  // The open file tells its length (it is cut only when the file it held was longer) and the
  // time of the last write, which the move keeps.
  struct stat st {};
  bool stat_ok = error == 0 && ::fstat(fd, &st) == 0;
  if (error == 0 && (!stat_ok || st.st_size != static_cast<off_t>(bytes.size()))) {
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) error = errno;
    stat_ok = error == 0 && written && ::fstat(fd, &st) == 0;
  }
  if (error == 0 && written && stat_ok) *written = WriteTimeOf(st);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) return error;
  error = MoveIntoPlace(staging, target, replacing);
  if (error == EXDEV) {
    if (written) written->reset();
    error = ReplaceFileWithBytes(target, bytes, MirrorReplacement(false));
  }
  return error;
}

std::string DownloadTempName(int index) {
  return "tmp" + std::to_string(index) + ".dat";
}

namespace {

// Removes the regular files in `folder` whose names the patrol's temporary files take: spare files,
// and unless `spares_only` the staging files and the download objects' bodies.
void RemoveTemporaryFilesIn(const std::string& folder, bool spares_only) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int dir_fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    const auto digits_only = [](std::string_view text) {
      return text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    bool temporary = name.starts_with(kSpareName) && name.size() > kSpareName.size() &&
                     digits_only(name.substr(kSpareName.size()));
    if (!spares_only) {
      temporary = temporary ||
                  (name.starts_with(kStagingName) && digits_only(name.substr(kStagingName.size())));
      if (name.starts_with("tmp") && name.ends_with(".dat") && name.size() > 7) {
        temporary = digits_only(name.substr(3, name.size() - 7));
      }
    }
    struct stat st {};
    if (temporary && ::fstatat(dir_fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode)) {
      ::unlinkat(dir_fd, entry->d_name, 0);
    }
  }
  ::closedir(dir);
}

}  // namespace

void RemoveTemporaryFiles(const std::string& work_folder) {
  RemoveTemporaryFilesIn(work_folder, false);
  // Only a folder of that name is the spare folder; a link of that name is not followed.
  const std::string spare_folder = SpareFolderOf(work_folder);
  if (!IsPlainFolder(spare_folder)) return;
  RemoveTemporaryFilesIn(spare_folder + "/", true);
  ::rmdir(spare_folder.c_str());
}

}  // namespace qlm
