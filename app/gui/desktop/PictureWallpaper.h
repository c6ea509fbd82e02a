#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/gui/desktop/WallpaperBackend.h"

namespace qlm {

class CommandRunner;

// "WP": makes a picture the desktop's wallpaper. The picture is written as QLMWP.bmp in the data
// folder and handed to the running desktop's back end. Where no back end applies, nothing is
// written and nothing changes.
class PictureWallpaper {
 public:
  enum class Result {
    kSet,            // the desktop shows the picture
    kNoPicture,      // no picture has been shown yet
    kUnsupported,    // this desktop's wallpaper cannot be set; nothing changed
    kLoadFailed,     // the JPEG could not be read
    kWriteFailed,    // QLMWP.bmp could not be written; the old file stays
    kCommandFailed,  // the desktop's command failed
  };

  // `data_folder` ends in "/". `backend` may be null (kUnsupported); `runner` must outlive this.
  PictureWallpaper(std::string data_folder, std::unique_ptr<WallpaperBackend> backend,
                   CommandRunner& runner);

  // The JPEG file `picture`, decoded at full size and colour.
  Result SetPicture(const std::string& picture);
  // A packed bitmap already decoded (the desktop display's pictures).
  Result SetBitmap(const uint8_t* dib, size_t size);

  bool Supported() const { return backend_ != nullptr; }
  std::string DesktopName() const { return backend_ ? backend_->Name() : std::string(); }
  std::string FilePath() const;
  // The text the user is told for a result; empty for kSet and kNoPicture.
  static std::string Message(Result result, const std::string& picture);

 private:
  const std::string data_folder_;
  std::unique_ptr<WallpaperBackend> backend_;
  CommandRunner& runner_;
};

}  // namespace qlm
