#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qlm {

// File system steps of the mirror store. Paths are byte strings with "/" separators. Results are
// 0 or the errno value of the step that failed.

using FileTime = std::chrono::system_clock::time_point;

// Reads a whole regular file; false when it cannot be opened or read (a folder included).
bool ReadWholeFile(const std::string& path, std::string& bytes);

bool IsRegularFile(const std::string& path);
bool IsFolder(const std::string& path);

// The file's last-write time (nanosecond resolution where the file system keeps it).
std::optional<FileTime> LastWriteTime(const std::string& path);

// Creates the folders leading to `file_path` (everything before its last "/") that are missing.
// A part that exists and is not a folder fails with ENOTDIR.
int MakeParentFolders(const std::string& file_path);

// Gives `path` its new content without ever exposing a partial file under that name: the bytes
// go into a new file beside it (same folder, a name no local name can have), which is flushed to
// the disk when `durable` is set and then renamed over `path`. `fill` writes the content to the
// open descriptor and returns 0 or an errno value. On failure the old file is untouched and the
// file beside it removed.
int ReplaceFile(const std::string& path, bool durable, const std::function<int(int fd)>& fill);
int ReplaceFileWithBytes(const std::string& path, std::string_view bytes, bool durable);
int ReplaceFileWithCopy(const std::string& path, const std::string& source, bool durable);

// Removes `folder` and then each folder above it while they are empty, up to but not including
// `stop` (which must be a prefix of folder ending in "/"). Stops quietly at the first that is not
// empty or cannot be removed.
void RemoveEmptyFolders(std::string folder, std::string_view stop);

}  // namespace qlm
