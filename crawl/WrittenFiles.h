#pragma once

#include <optional>
#include <string_view>
#include <unordered_map>

#include "crawl/MirrorFiles.h"
#include "crawl/NameHash.h"

namespace qlm {

// The files a mirror store wrote, with the last-write time each had when it was written. A patrol
// looks up the files it stored many times over (every link to a page it fetched, when the record
// comes up and again when a page linking to it is localised); with this it looks at the file
// system only for files it did not write. A file costs a fixed few dozen bytes, whatever the
// length of its name.
class WrittenFiles {
 public:
  std::optional<FileTime> Find(std::string_view path) const;
  void Wrote(std::string_view path, FileTime written);
  void Forget(std::string_view path);
  std::size_t Size() const { return written_.size(); }

 private:
  std::unordered_map<NameHash, FileTime, NameHash::Hasher> written_;
};

}  // namespace qlm
