#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "crawl/NameHash.h"
#include "crawl/Validators.h"
#include "platform/FileSystem.h"

namespace qlm {

// The work-folder file of a project that holds its validator log (MirrorStore::WorkFile).
inline constexpr std::string_view kValidatorLogExtension = ".vl";

// The validators of the stored files of a project's mirror, in a log file of its work folder.
//
// A record holds for one version of one file: the file (by its name below the mirror root) with
// the last-write time it had when the record was made. A page that the localization pass rewrites
// and a copy that a 304 reply confirms get a new time, and a record that carries the validators
// over to it. A file changed in any other way (by hand, or by a patrol killed before the record of
// its new version was written) no longer matches its record: its renewal asks with the copy's
// time, as for a file that has no validators.
//
// A patrol reads the log at its start and then only appends to it, in chunks and before each sync
// of the mirror, so that a sync makes the records of the files it makes durable durable too. A log
// that is mostly records of versions since replaced is written anew at the start without them; a
// record cut off at its end (a patrol killed in a write) is dropped. The log costs no extended
// attributes or other file-system steps per stored file, and a missing, damaged or unwritable log
// costs only the validators it would have given.
class ValidatorLog {
 public:
  // `file` is the log; `mirror_root` (ending in "/") is taken off the files' names.
  ValidatorLog(std::string file, std::string mirror_root);
  ~ValidatorLog();  // writes the records that wait
  ValidatorLog(const ValidatorLog&) = delete;
  ValidatorLog& operator=(const ValidatorLog&) = delete;

  // Reads the log and opens it for the records to come; false when it cannot be written (the
  // validators read are still found, nothing new is kept).
  bool Open();
  // The validators of `file` when they were kept for its version written at `written`; empty
  // otherwise. Answers from the log as it was read, and the moves told since.
  Validators Find(std::string_view file, FileTime written) const;
  // `file` holds a new version, written at `written`, that came with `validators`.
  void Stored(std::string_view file, FileTime written, const Validators& validators);
  // `file`, the version written at `from`, was given the time `to` or rewritten at `to` with
  // what the server sent unchanged: its validators hold for it still.
  void Moved(std::string_view file, FileTime from, FileTime to);
  // Writes the records that wait.
  void Flush();

  // Versions known (read, less those moved away since).
  std::size_t Size() const { return versions_.size(); }

 private:
  // A version read: its time and where its two texts are in texts_.
  struct Version {
    std::int64_t written = 0;
    std::uint32_t at = 0;
    std::uint16_t last_modified = 0;
    std::uint16_t etag = 0;
  };

  NameHash KeyOf(std::string_view file) const;
  // Reads the records of `bytes`; the length of the whole records read.
  std::size_t Read(std::string_view bytes, std::size_t& records);
  // The log written anew from the versions read (their texts gathered anew as well).
  std::string Compacted();
  void AppendStored(std::string& out, const NameHash& key, std::int64_t written,
                    std::string_view last_modified, std::string_view etag) const;
  void Wrote();

  const std::string file_;
  const std::string root_;
  std::unordered_map<NameHash, Version, NameHash::Hasher> versions_;
  std::string texts_;
  int out_ = -1;  // -1 when the log cannot be written
  std::string pending_;
};

}  // namespace qlm
