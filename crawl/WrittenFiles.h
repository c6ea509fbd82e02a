#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "crawl/MirrorFiles.h"
#include "crawl/NameHash.h"

namespace qlm {

// The files a mirror store wrote, with the last-write time each had when it was written. A patrol
// looks up the files it stored many times over (every link to a page it fetched, when the record
// comes up and again when a page linking to it is localised); with this it looks at the file
// system only for files it did not write.
//
// A file costs 24 bytes in a table kept at most three quarters full, whatever the length of its
// name: an open-addressing table of name hashes (NameHash), probed linearly. The table stops
// growing at kMaxFiles, so that a patrol's memory stays flat however large the site: files written
// after that are looked up on the file system again (the files already remembered stay so).
//
// The table also remembers the folders the writer made. A file in one of those that the table
// does not hold is not there at all (nobody else writes into them), so a lookup of a name not yet
// fetched needs no look at the file system either; a folder stops counting as made once a file
// written into it cannot be remembered. A name with an empty folder name ("d//x.html", from a URL
// with "//" in its path) is another name of the file without it: once such a name is written,
// no folder counts as made any more (and a folder so named never does).
class WrittenFiles {
 public:
  static constexpr std::size_t kMaxSlots = std::size_t{1} << 15;  // 768 KiB
  static constexpr std::size_t kMaxFiles = kMaxSlots / 4 * 3;

  std::optional<FileTime> Find(std::string_view path) const;
  // Remembers the file's time; a new file is not remembered when kMaxFiles are.
  void Wrote(std::string_view path, FileTime written);
  void Forget(std::string_view path);
  // Notes a folder (without a trailing "/") that the writer has just created.
  void MadeFolder(std::string_view folder);
  // True when `path` is a file of a folder the writer made, where the table holds every file.
  bool InMadeFolder(std::string_view path) const;
  std::size_t Size() const { return size_; }

 private:
  struct Slot {
    NameHash name;  // {0, 0} marks a free slot (a name that hashes to it is kept as {0, 1})
    std::int64_t written = 0;  // nanoseconds since the clock's epoch
  };

  static NameHash Key(std::string_view path);
  // The key of a made folder: never that of a file name.
  static NameHash FolderKey(std::string_view folder);
  bool Holds(const NameHash& key) const;
  // Adds `key` (or finds it); false when the table is full.
  bool Insert(const NameHash& key, std::int64_t written);
  void Erase(const NameHash& key);
  std::size_t Home(const NameHash& key) const { return key.first & (slots_.size() - 1); }
  // The slot holding `key`, or the free slot where it would go.
  std::size_t Probe(const NameHash& key) const;
  void Grow();

  std::vector<Slot> slots_;  // a power of two in size, or empty
  std::size_t size_ = 0;
  bool made_folders_tell_ = true;  // false once a name with "//" was written
};

}  // namespace qlm
