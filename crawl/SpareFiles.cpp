#include "crawl/SpareFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "crawl/MirrorFiles.h"

namespace qlm {

SpareFiles::SpareFiles(std::string folder)
    : folder_(std::move(folder)),
      files_(
          kKept, [this](File& file) { return Make(file); },
          [](File& file) {
            ::close(file.fd);
            ::unlink(file.path.c_str());
          }) {}

MadeAhead<SpareFiles::File>::Outcome SpareFiles::Make(File& file) {
  using Outcome = MadeAhead<File>::Outcome;
  file.path = folder_ + std::string(kSpareName) + std::to_string(next_++);
  file.fd = ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (file.fd >= 0) return Outcome::kMade;
  // A file left by a patrol before: its number is passed over.
  return errno == EEXIST ? Outcome::kSkip : Outcome::kFailed;
}

}  // namespace qlm
