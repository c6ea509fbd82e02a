#include "app/gui/desktop/PictureWallpaper.h"

#include <optional>

#include "app/gui/desktop/CommandRunner.h"
#include "picture/JpegLoader.h"
#include "picture/WallpaperFile.h"

namespace qlm {

PictureWallpaper::PictureWallpaper(std::string data_folder,
                                   std::unique_ptr<WallpaperBackend> backend, CommandRunner& runner)
    : data_folder_(std::move(data_folder)), backend_(std::move(backend)), runner_(runner) {}

std::string PictureWallpaper::FilePath() const {
  return WallpaperFile::PathIn(data_folder_);
}

PictureWallpaper::Result PictureWallpaper::SetPicture(const std::string& picture) {
  if (picture.empty()) return Result::kNoPicture;
  if (!backend_) return Result::kUnsupported;
  std::optional<PackedBitmap> bitmap = JpegLoader().Load(picture, 0, 1, 1);
  if (!bitmap) return Result::kLoadFailed;
  return SetBitmap(bitmap->Data(), bitmap->Size());
}

PictureWallpaper::Result PictureWallpaper::SetBitmap(const uint8_t* dib, size_t size) {
  if (!backend_) return Result::kUnsupported;
  if (WallpaperFile::Write(FilePath(), dib, size) != WallpaperFile::kOk)
    return Result::kWriteFailed;
  return backend_->Set(FilePath(), runner_) ? Result::kSet : Result::kCommandFailed;
}

std::string PictureWallpaper::Message(Result result, const std::string& picture) {
  switch (result) {
    case Result::kUnsupported:
      return "このデスクトップの壁紙は設定できません。";
    case Result::kLoadFailed:
      return "画像を読み込めませんでした。\n" + picture;
    case Result::kWriteFailed:
      return "壁紙のファイルを書き込めませんでした。\n" + picture;
    case Result::kCommandFailed:
      return "デスクトップが壁紙を設定できませんでした。\n" + picture;
    default:
      return std::string();
  }
}

}  // namespace qlm
