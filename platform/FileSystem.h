#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm {

// Steps on the file system that several layers take. Paths are byte strings with "/" separators.
// Results are 0 or the errno value of the step that failed.

using FileTime = std::chrono::system_clock::time_point;

bool IsRegularFile(const std::string& path);
bool IsFolder(const std::string& path);
// A folder itself, not a link to one.
bool IsPlainFolder(const std::string& path);

// The file's last-write time (nanosecond resolution where the file system keeps it).
std::optional<FileTime> LastWriteTime(const std::string& path);
// The same for a regular file only (one look at the file tells both).
std::optional<FileTime> RegularFileWritten(const std::string& path);

// Creates the folders leading to `file_path` (everything before its last "/") that are missing.
// A part that exists and is not a folder fails with ENOTDIR. `made`, when given, receives each
// folder created (without its trailing "/"), the outermost first.
int MakeParentFolders(const std::string& file_path, std::vector<std::string>* made = nullptr);

// Gives `target` the complete file `source` by renaming it there, creating the folders on the way
// when they are missing. Where `target` is a regular file already, the two are exchanged: `source`
// then holds the old file, which the caller may write again (a new file and a deleted one cost
// the file system far more than a rewritten one). A reader of `target` sees the old file or the new
// one, never a part of either. 0 or the errno value: ENOTDIR when a file stands where a folder
// must be, ENOENT when `source` is missing, EXDEV when the two are on different file systems.
// `replacing`: the caller knows of a regular file under `target` (a page it read to rewrite), which
// is then swapped out at once, without first trying whether the name is free. `swapped`, when
// given, tells whether `source` holds an old file afterwards; `made_folders` receives the folders
// created on the way (MakeParentFolders).
int MoveIntoPlace(const std::string& source, const std::string& target, bool replacing = false,
                  bool* swapped = nullptr, std::vector<std::string>* made_folders = nullptr);
// Flushes everything written to the file system that holds `folder` (file data, names, folders)
// to the disk: one call makes many writes durable at once. 0 or the errno value.
int SyncFileSystem(const std::string& folder);

// Removes `folder` and then each folder above it while they are empty, up to but not including
// `stop` (which must be a prefix of folder ending in "/"). Stops quietly at the first that is not
// empty or cannot be removed.
void RemoveEmptyFolders(std::string folder, std::string_view stop);

}  // namespace qlm
