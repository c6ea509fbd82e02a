#include "crawl/SpareFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "crawl/MirrorFiles.h"

namespace qlm {

SpareFiles::SpareFiles(std::string folder)
    : folder_(std::move(folder)),
      side_{SpareFolderOf(folder_) + "/"},
      files_(
          kKept, [this](File& file) { return Make(file); },
          [](File& file) {
            ::close(file.fd);
            ::unlink(file.path.c_str());
          },
          [this] { BeginFill(); }) {}

SpareFiles::SideFolder::~SideFolder() {
  if (made) ::rmdir(path.c_str());
}

void SpareFiles::BeginFill() {
  // The first round (all kKept files) goes to the work folder; a subfolder that cannot be made
  // leaves every round there.
  if (making_in_ == &side_.path) {
    making_in_ = &folder_;
    return;
  }
  if (next_ == 1) return;
  if (!side_.made) {
    const std::string folder = SpareFolderOf(folder_);
    side_.made = ::mkdir(folder.c_str(), 0755) == 0 || (errno == EEXIST && IsPlainFolder(folder));
    if (!side_.made) return;
  }
  making_in_ = &side_.path;
}

MadeAhead<SpareFiles::File>::Outcome SpareFiles::Make(File& file) {
  using Outcome = MadeAhead<File>::Outcome;
  file.path = *making_in_ + std::string(kSpareName) + std::to_string(next_++);
  file.fd = ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (file.fd >= 0) return Outcome::kMade;
  // A file left by a patrol before: its number is passed over.
  return errno == EEXIST ? Outcome::kSkip : Outcome::kFailed;
}

}  // namespace qlm
