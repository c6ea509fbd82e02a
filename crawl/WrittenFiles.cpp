#include "crawl/WrittenFiles.h"

namespace qlm {

std::optional<FileTime> WrittenFiles::Find(std::string_view path) const {
  const auto it = written_.find(NameHash::Of(path));
  if (it == written_.end()) return std::nullopt;
  return it->second;
}

void WrittenFiles::Wrote(std::string_view path, FileTime written) {
  written_.insert_or_assign(NameHash::Of(path), written);
}

void WrittenFiles::Forget(std::string_view path) {
  written_.erase(NameHash::Of(path));
}

}  // namespace qlm
