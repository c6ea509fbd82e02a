#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/WholeFile.h"

namespace qlm {

// The mirror store's own file system steps; the general ones are in platform/FileSystem.h. Paths
// are byte strings with "/" separators. Results are 0 or the errno value of the step that failed.

// Writes `bytes` into `staging` (created, or cut back) and moves it into place over `target`
// (MoveIntoPlace; on different file systems, a copy beside `target` renamed over it). `written`,
// when given, receives the new file's last-write time where it is known without another look.
int ReplaceFileVia(const std::string& staging, const std::string& target, std::string_view bytes,
                   bool replacing = false, std::optional<FileTime>* written = nullptr);

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

}  // namespace qlm
