#include "picture/PicturePanel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "picture/PictureRotation.h"
#include "platform/Folders.h"
#include "platform/WholeFile.h"
#include "project/AppSettings.h"

namespace qlm {

namespace {

std::string FileNameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::string InFolder(std::string folder, const std::string& name) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + name;
}

}  // namespace

PicturePanel::PicturePanel(PictureRotation& rotation)
    : rotation_(rotation), prev_enabled_(rotation.History().Count() >= 2) {}

std::string PicturePanel::PickupFolder() const {
  return rotation_.Settings().PickupFolder();
}

bool PicturePanel::CurrentInPickupFolder() const {
  const std::string path = rotation_.CurrentPicturePath();
  const std::string pickup = PickupFolder();
  return !path.empty() && !pickup.empty() && path.starts_with(pickup);
}

PicturePanel::Result PicturePanel::Pickup() {
  const std::string path = rotation_.CurrentPicturePath();
  if (path.empty()) return Result::kNothing;
  if (!CurrentInPickupFolder()) {
    const std::string pickup = PickupFolder();
    if (!CreateFolders(pickup, 0755)) return Result::kFailed;
    const std::string target = InFolder(pickup, FileNameOf(path));
    return ReplaceFileWithCopy(target, path, MirrorReplacement(true)) == 0 ? Result::kCopied
                                                                           : Result::kFailed;
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Result::kFailed;
  if (rotation_.History().Count() == 1) {
    rotation_.History().Clear();
  } else {
    Prev();
  }
  return Result::kDeleted;
}

PicturePanel::Result PicturePanel::Copy(const std::string& folder) {
  const std::string path = rotation_.CurrentPicturePath();
  if (path.empty()) return Result::kNothing;
  const std::string target = InFolder(folder, FileNameOf(path));
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) return Result::kExists;
  return ReplaceFileWithCopy(target, path, MirrorReplacement(true)) == 0 ? Result::kCopied
                                                                         : Result::kFailed;
}

void PicturePanel::Prev() {
  if (rotation_.History().Count() == 2) prev_enabled_ = false;
  rotation_.Step(StepMode::kPrevious);
}

void PicturePanel::Next() {
  if (rotation_.History().Count() == 1) prev_enabled_ = true;
  rotation_.Step(StepMode::kNext);
}

void PicturePanel::Ok() {
  rotation_.ClosePanel();
}

}  // namespace qlm
