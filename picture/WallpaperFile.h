#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qlm {

// The wallpaper bitmap file "QLMWP.bmp": a 14-byte file header ("BM", the file size, two reserved
// words, the offset of the pixels) followed by the packed bitmap, whose image-size field is filled
// in. Only bitmaps with the 40-byte header are written.
class WallpaperFile {
 public:
  static constexpr char kFileName[] = "QLMWP.bmp";
  static constexpr size_t kFileHeaderSize = 14;

  enum Error {
    kOk = 0,
    kBadBitmap = -1,   // not a 40-byte header, or fewer bytes than the header says
    kWriteFailed = -2  // the file could not be written; the old one stays
  };

  // The file's bytes for a packed bitmap. For an uncompressed bitmap the image size is
  // ((width x bit count + 31) / 32) x 4 x height and that many pixel bytes follow; for a
  // run-length encoded one (BI_RLE8, BI_RLE4) the size its header holds. False (kBadBitmap) when
  // the bitmap cannot be written.
  static bool Build(const uint8_t* dib, size_t size, std::string* bytes);

  // Writes the file at `path` through a temporary file beside it that is renamed over the old
  // one, so that a failed write leaves the old wallpaper file whole. Returns an Error.
  static int Write(const std::string& path, const uint8_t* dib, size_t size);

  // The file in the data folder (`folder` ends in "/").
  static std::string PathIn(const std::string& folder) { return folder + kFileName; }
};

}  // namespace qlm
