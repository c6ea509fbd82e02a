#include "picture/WallpaperFile.h"

#include "project/ListFile.h"

namespace qlm {

namespace {

constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr size_t kInfoHeaderSize = 40;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLe32(std::string& out, size_t at, uint64_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

bool WallpaperFile::Build(const uint8_t* dib, size_t size, std::string* bytes) {
  if (dib == nullptr || size < kInfoHeaderSize || Le32(dib) != kInfoHeaderSize) return false;
  const int32_t width = static_cast<int32_t>(Le32(dib + 4));
  const int32_t height = static_cast<int32_t>(Le32(dib + 8));
  const uint32_t bit_count = static_cast<uint32_t>(dib[14]) | static_cast<uint32_t>(dib[15]) << 8;
  const uint32_t compression = Le32(dib + 16);
  uint64_t colours = Le32(dib + 32);
  if (colours == 0 && bit_count > 0 && bit_count <= 8) colours = uint64_t{1} << bit_count;
  if (width <= 0 || height == 0 || bit_count == 0 || colours > 256) return false;

  const uint64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
  uint64_t image_size;
  if (compression == kBiRle8 || compression == kBiRle4) {
    image_size = Le32(dib + 20);
  } else {
    image_size = (static_cast<uint64_t>(width) * bit_count + 31) / 32 * 4 * rows;
  }
  const uint64_t pixel_offset = kInfoHeaderSize + 4 * colours;
  // A bitmap that ends before its rows do is refused rather than written short.
  if (pixel_offset + image_size > size || kFileHeaderSize + pixel_offset + image_size > 0xFFFFFFFFu)
    return false;

  std::string out(kFileHeaderSize, '\0');
  out[0] = 'B';
  out[1] = 'M';
  PutLe32(out, 2, kFileHeaderSize + pixel_offset + image_size);
  PutLe32(out, 10, kFileHeaderSize + pixel_offset);
  out.append(reinterpret_cast<const char*>(dib), pixel_offset + image_size);
  PutLe32(out, kFileHeaderSize + 20, image_size);
  *bytes = std::move(out);
  return true;
}

int WallpaperFile::Write(const std::string& path, const uint8_t* dib, size_t size) {
  std::string bytes;
  if (!Build(dib, size, &bytes)) return kBadBitmap;
  return ReplaceListFile(path, bytes) ? kOk : kWriteFailed;
}

}  // namespace qlm
