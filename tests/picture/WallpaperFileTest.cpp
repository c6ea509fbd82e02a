// QLMWP.bmp: the bytes of the wallpaper file, read back with a reader of the test's own and with
// ImageMagick's identify.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "picture/JpegLoader.h"
#include "picture/PackedBitmap.h"
#include "picture/WallpaperFile.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// What a reader of bitmap files finds in the bytes: the two headers and a pixel getter.
struct BmpRead {
  bool ok = false;
  uint32_t file_size = 0, pixel_offset = 0, header_size = 0, image_size = 0;
  int width = 0, height = 0, bit_count = 0;
  std::string bytes;
  // Blue, green, red of (x, y) counted from the top.
  int Channel(int x, int y, int c) const {
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    const size_t row = static_cast<size_t>(height - 1 - y);
    return static_cast<uint8_t>(bytes[pixel_offset + row * stride + 3 * x + c]);
  }
};

BmpRead ReadBmp(const std::string& bytes) {
  BmpRead r;
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return r;
  r.bytes = bytes;
  r.file_size = Le32(bytes, 2);
  if (Le16(bytes, 6) != 0 || Le16(bytes, 8) != 0) return r;
  r.pixel_offset = Le32(bytes, 10);
  r.header_size = Le32(bytes, 14);
  r.width = static_cast<int>(Le32(bytes, 18));
  r.height = static_cast<int>(Le32(bytes, 22));
  r.bit_count = Le16(bytes, 28);
  r.image_size = Le32(bytes, 34);
  r.ok = true;
  return r;
}

std::string Identify(const std::string& path) {
  const std::string command = "identify -format '%m %w %h %z' '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  char line[128] = {};
  const size_t n = fread(line, 1, sizeof line - 1, pipe);
  pclose(pipe);
  return std::string(line, n);
}

TEST(WallpaperFileTest, OddWidthsAndGreyPicturesReadBackAsTheirSourcePixels) {
  const struct {
    int width, height, components;
  } shapes[] = {{13, 7, 3}, {1, 1, 3}, {4, 3, 3}, {6, 9, 1}, {3, 5, 1}, {101, 2, 3}};
  test::TempDir dir;
  const bool have_identify = std::system("command -v identify >/dev/null 2>&1") == 0;
  for (const auto& shape : shapes) {
    SCOPED_TRACE(std::to_string(shape.width) + "x" + std::to_string(shape.height) + "/" +
                 std::to_string(shape.components));
    test::TestJpeg jpeg;
    jpeg.width = shape.width;
    jpeg.height = shape.height;
    jpeg.components = shape.components;
    const std::string source = dir.File("source.jpg");
    ASSERT_TRUE(test::WriteTestJpeg(source, jpeg));
    std::optional<PackedBitmap> bitmap = JpegLoader().Load(source, 0, 1, 1);
    ASSERT_TRUE(bitmap);

    const std::string path = WallpaperFile::PathIn(dir.Path() + "/");
    ASSERT_EQ(WallpaperFile::Write(path, bitmap->Data(), bitmap->Size()), WallpaperFile::kOk);
    const std::string bytes = test::ReadFileBytes(path);
    const BmpRead bmp = ReadBmp(bytes);
    ASSERT_TRUE(bmp.ok);
    const uint32_t stride = (shape.width * 3 + 3) / 4 * 4;
    EXPECT_EQ(bmp.pixel_offset, 54u);
    EXPECT_EQ(bmp.header_size, 40u);
    EXPECT_EQ(bmp.image_size, stride * shape.height);
    EXPECT_EQ(bmp.file_size, 54u + stride * shape.height);
    EXPECT_EQ(bytes.size(), bmp.file_size);
    EXPECT_EQ(bmp.width, shape.width);
    EXPECT_EQ(bmp.height, shape.height);
    EXPECT_EQ(bmp.bit_count, 24);
    // Every pixel is the source's within the loss of the compression; grey stays grey.
    int worst = 0;
    for (int y = 0; y < shape.height; ++y) {
      for (int x = 0; x < shape.width; ++x) {
        const test::TestRgb want = test::TestPixel(jpeg, x, y);
        const int grey = test::TestGrey(jpeg, x, y);
        const int expected[3] = {shape.components == 1 ? grey : want.blue,
                                 shape.components == 1 ? grey : want.green,
                                 shape.components == 1 ? grey : want.red};
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::abs(bmp.Channel(x, y, c) - expected[c]));
        if (shape.components == 1) {
          EXPECT_EQ(bmp.Channel(x, y, 0), bmp.Channel(x, y, 1));
          EXPECT_EQ(bmp.Channel(x, y, 1), bmp.Channel(x, y, 2));
        }
      }
    }
    EXPECT_LE(worst, 12);
    // ImageMagick names a bitmap file with the 40-byte header "BMP3".
    if (have_identify) {
      EXPECT_EQ(Identify(path),
                "BMP3 " + std::to_string(shape.width) + " " + std::to_string(shape.height) + " 8");
    }
  }
}

TEST(WallpaperFileTest, ABitmapThatCannotBeWrittenLeavesTheOldFile) {
  test::TempDir dir;
  const std::string path = WallpaperFile::PathIn(dir.Path() + "/");
  ASSERT_TRUE(test::WriteFileBytes(path, "old wallpaper"));
  DibLayout layout;
  layout.width = 5;
  layout.height = 4;
  PackedBitmap bitmap;
  ASSERT_TRUE(bitmap.Allocate(layout.TotalSize()));
  layout.WriteHeader(bitmap.Data());
  // Cut short by one row, a header of another size, and no bytes at all.
  const size_t short_size = bitmap.Size() - layout.RowStride();
  EXPECT_EQ(WallpaperFile::Write(path, bitmap.Data(), short_size), WallpaperFile::kBadBitmap);
  bitmap.Data()[0] = 12;
  EXPECT_EQ(WallpaperFile::Write(path, bitmap.Data(), bitmap.Size()), WallpaperFile::kBadBitmap);
  EXPECT_EQ(WallpaperFile::Write(path, nullptr, 0), WallpaperFile::kBadBitmap);
  // A folder that does not exist cannot take the temporary file.
  bitmap.Data()[0] = 40;
  EXPECT_EQ(WallpaperFile::Write(dir.File("none/QLMWP.bmp"), bitmap.Data(), bitmap.Size()),
            WallpaperFile::kWriteFailed);
  EXPECT_EQ(test::ReadFileBytes(path), "old wallpaper");
  ASSERT_EQ(WallpaperFile::Write(path, bitmap.Data(), bitmap.Size()), WallpaperFile::kOk);
  EXPECT_EQ(test::ReadFileBytes(path).size(), 14u + bitmap.Size());
}

TEST(WallpaperFileTest, RunLengthEncodedBitmapsKeepTheirStoredImageSize) {
  // An 8-bit RLE bitmap with 2 colours and 6 bytes of codes.
  std::string dib(40 + 8 + 6, '\0');
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<char>(v >> (8 * i));
  };
  put(0, 40);
  put(4, 100);
  put(8, 100);
  dib[12] = 1;
  dib[14] = 8;
  put(16, 1);  // BI_RLE8
  put(20, 6);  // image size
  put(32, 2);  // colours used
  std::string bytes;
  ASSERT_TRUE(
      WallpaperFile::Build(reinterpret_cast<const uint8_t*>(dib.data()), dib.size(), &bytes));
  const BmpRead bmp = ReadBmp(bytes);
  EXPECT_EQ(bmp.image_size, 6u);
  EXPECT_EQ(bmp.pixel_offset, 14u + 40 + 8);
  EXPECT_EQ(bmp.file_size, 14u + 40 + 8 + 6);
  EXPECT_EQ(bytes.size(), bmp.file_size);
}

}  // namespace
}  // namespace qlm
