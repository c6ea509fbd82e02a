#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qlm {

// Files read and written whole. A file is never written in place: the new content goes into a
// temporary file beside the target (in its folder, so the rename never crosses file systems),
// which is flushed as the caller asks and then renamed over the target, so that a reader, or a
// program killed half way, sees the old file or the new one, never a part of either. Every
// descriptor is opened close-on-exec. Results are 0 or the errno value of the step that failed;
// on failure the target is untouched and the temporary file removed.

// How far the new file is flushed to the disk before the rename.
enum class Flush {
  kNone,  // left to the system: a crash may leave the new name with no content
  kData,  // fdatasync: the content, not the times
  kAll,   // fsync
};

// The name the new content is written under before the rename.
enum class TemporaryName {
  // The target's name followed by "." and six random letters or digits, made new.
  kSuffixed,
  // ".qlm?" followed by the process number and a count: a name the mirror's local names can never
  // take (they escape "?"), made new.
  kHidden,
  // The target's name followed by `ReplaceOptions::suffix`; a leftover of a replacement that was
  // cut off is written over.
  kFixed,
};

struct ReplaceOptions {
  TemporaryName temporary = TemporaryName::kSuffixed;
  // The new file's mode, whatever the umask; unset, `create_mode` less the umask.
  std::optional<mode_t> mode = std::nullopt;
  Flush flush = Flush::kAll;
  // The suffix of a kFixed name.
  std::string_view suffix = ".tmp";
  mode_t create_mode = 0666;
};

// The mirror's replacements: a hidden name, and the content flushed only when the caller needs
// it durable (a sync of the whole file system does it for many files at once otherwise).
inline ReplaceOptions MirrorReplacement(bool durable) {
  return {.temporary = TemporaryName::kHidden, .flush = durable ? Flush::kData : Flush::kNone};
}

// Gives `path` the content that `fill` writes to the open descriptor (0 or an errno value).
int ReplaceFile(const std::string& path, const ReplaceOptions& options,
                const std::function<int(int fd)>& fill);
int ReplaceFileWithBytes(const std::string& path, std::string_view bytes,
                         const ReplaceOptions& options);
// The content of the file `source`, copied.
int ReplaceFileWithCopy(const std::string& path, const std::string& source,
                        const ReplaceOptions& options);

// Writes all of `bytes` to `fd`, again after an interruption. 0 or the errno value (EIO when the
// system takes no byte).
int WriteAll(int fd, std::string_view bytes);

// Reads a whole regular file into `bytes`, as large as it is when opened; a file that tells no size
// (those of /proc) is read to its end. False when it cannot be opened or read, or is not a regular
// file (EISDIR for a folder, EINVAL for anything else), with `bytes` empty and the errno value in
// `error` when given (ENOENT: there is no such file).
bool ReadWholeFile(const std::string& path, std::string& bytes, int* error = nullptr);
// The same, telling `sized` the file's size once it is known and before any room is taken for it
// (a reader of large files may wait for its turn there).
bool ReadWholeFile(const std::string& path, std::string& bytes, int* error,
                   const std::function<void(std::size_t size)>& sized);

}  // namespace qlm
