#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WholeFile.h"

namespace qlm {

// File system steps of the mirror store. Paths are byte strings with "/" separators. Results are
// 0 or the errno value of the step that failed.

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
// Writes `bytes` into `staging` (created, or cut back) and moves it into place over `target`
// (MoveIntoPlace; on different file systems, a copy beside `target` renamed over it). `written`,
// when given, receives the new file's last-write time where it is known without another look.
int ReplaceFileVia(const std::string& staging, const std::string& target, std::string_view bytes,
                   bool replacing = false, std::optional<FileTime>* written = nullptr);

// Flushes everything written to the file system that holds `folder` (file data, names, folders)
// to the disk: one call makes many writes durable at once. 0 or the errno value.
int SyncFileSystem(const std::string& folder);

// The temporary files a patrol keeps in a project's work folder: the download objects' bodies
// ("tmp" with the object's number and ".dat", or a spare file: kSpareName and a number, see
// SpareFiles) and the store's staging files (kStagingName, alone or followed by a helper's number).
// Spare files are also made in the work folder's subfolder kSpareFolderName. The names start with
// ".qlm?", which no local name can take, as local names escape "?". A patrol that is killed leaves
// them there.
std::string DownloadTempName(int index);
inline constexpr std::string_view kStagingName = ".qlm?staging";
inline constexpr std::string_view kSpareName = ".qlm?spare";
inline constexpr std::string_view kSpareFolderName = ".qlm?spares";
// The spare folder of a work folder (which ends in "/"), without a trailing "/".
inline std::string SpareFolderOf(const std::string& work_folder) {
  return work_folder + std::string(kSpareFolderName);
}
// Removes those files (regular files of those names directly in `work_folder`, and spare files in
// its spare folder, nothing else), and the spare folder when that leaves it empty.
void RemoveTemporaryFiles(const std::string& work_folder);

// Removes `folder` and then each folder above it while they are empty, up to but not including
// `stop` (which must be a prefix of folder ending in "/"). Stops quietly at the first that is not
// empty or cannot be removed.
void RemoveEmptyFolders(std::string folder, std::string_view stop);

}  // namespace qlm
