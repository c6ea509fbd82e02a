#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "picture/DibView.h"
#include "picture/JpegLoader.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::TestJpeg;

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

// How far a decoded colour may stray from the picture before compression.
int Distance(uint32_t rgb32, test::TestRgb want) {
  const int r = rgb32 >> 16 & 0xFF, g = rgb32 >> 8 & 0xFF, b = rgb32 & 0xFF;
  return std::max({std::abs(r - want.red), std::abs(g - want.green), std::abs(b - want.blue)});
}

class JpegLoaderTest : public ::testing::Test {
 protected:
  std::string Make(const TestJpeg& shape, const std::string& name = "p.jpg") {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(test::WriteTestJpeg(path, shape));
    return path;
  }

  test::TempDir dir_;
  JpegLoader loader_;
};

struct FullColourCase {
  int width, height, components;
  bool progressive, subsample;
  size_t stride;
};

TEST_F(JpegLoaderTest, FullColourLoadIsBottomUpBgrWithPaddedRowsAndExactHeader) {
  const FullColourCase cases[] = {
      {16, 16, 3, false, false, 48}, {3, 5, 3, false, false, 12},  // 9 pixel bytes + 3 padding
      {1, 1, 3, false, false, 4},    {37, 20, 3, true, false, 112},
      {29, 18, 3, false, true, 88},  {5, 7, 1, false, false, 16},  // grey widened to 3 channels
      {640, 8, 1, true, false, 1920}};
  for (const FullColourCase& k : cases) {
    SCOPED_TRACE(std::to_string(k.width) + "x" + std::to_string(k.height) + " components " +
                 std::to_string(k.components));
    TestJpeg shape{.width = k.width,
                   .height = k.height,
                   .components = k.components,
                   .progressive = k.progressive,
                   .subsample = k.subsample};
    // A colour count of -1 ("not set") keeps full colour just as 0 does.
    std::optional<PackedBitmap> bmp = loader_.Load(Make(shape), k.width % 2 ? -1 : 0, 1, 1);
    ASSERT_TRUE(bmp) << loader_.LastMessage();
    EXPECT_EQ(loader_.LastError(), JpegLoader::kOk);

    const uint8_t* h = bmp->Data();
    ASSERT_EQ(bmp->Size(), 40 + k.stride * k.height);
    EXPECT_EQ(Le32(h), 40u);
    EXPECT_EQ(Le32(h + 4), uint32_t(k.width));
    EXPECT_EQ(Le32(h + 8), uint32_t(k.height));  // positive: bottom row first
    EXPECT_EQ(h[12] | h[13] << 8, 1);            // planes
    EXPECT_EQ(h[14] | h[15] << 8, 24);           // bits per pixel
    for (int offset : {16, 20, 24, 28, 32, 36}) EXPECT_EQ(Le32(h + offset), 0u) << offset;

    const int tolerance = k.subsample ? 24 : 10;
    const uint8_t* stored = h + 40;
    for (int row = 0; row < k.height; ++row) {
      const uint8_t* line = stored + row * k.stride;
      const int y = k.height - 1 - row;
      for (int x = 0; x < k.width; ++x) {
        const uint8_t* px = line + 3 * x;
        if (k.components == 1) {
          ASSERT_EQ(px[0], px[1]);
          ASSERT_EQ(px[1], px[2]);
          ASSERT_NEAR(px[0], test::TestGrey(shape, x, y), tolerance) << x << "," << y;
        } else {
          const uint32_t rgb = px[2] << 16 | px[1] << 8 | px[0];
          ASSERT_LE(Distance(rgb, test::TestPixel(shape, x, y)), tolerance) << x << "," << y;
        }
      }
      for (size_t pad = 3 * k.width; pad < k.stride; ++pad) ASSERT_EQ(line[pad], 0) << pad;
    }
  }
}

TEST_F(JpegLoaderTest, ScaleDenominatorShrinksTheOutputRoundingUp) {
  const TestJpeg shape{.width = 65, .height = 49};
  const std::string path = Make(shape);
  const struct {
    int denominator, width, height;
  } cases[] = {{1, 65, 49}, {2, 33, 25}, {4, 17, 13}, {8, 9, 7}, {3, 25, 19}, {16, 9, 7}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.denominator);
    std::optional<PackedBitmap> bmp = loader_.Load(path, 0, k.denominator, 1);
    ASSERT_TRUE(bmp) << loader_.LastMessage();
    DibView view;
    ASSERT_TRUE(view.Parse(bmp->Data(), bmp->Size()));
    EXPECT_EQ(view.Width(), k.width);
    EXPECT_EQ(view.Height(), k.height);
    EXPECT_EQ(bmp->Size(), 40 + view.RowStride() * k.height);
    // The ramps survive scaling: the top left is dark red, the bottom right red and green.
    std::vector<uint32_t> row(view.Width());
    view.ExpandRow(view.Height() / 2, row.data());
    const int mid_x = view.Width() / 2;
    const int sx = std::min(shape.width - 1, (2 * mid_x + 1) * shape.width / (2 * view.Width()));
    const int sy = std::min(shape.height - 1,
                            (2 * (view.Height() / 2) + 1) * shape.height / (2 * view.Height()));
    EXPECT_LE(Distance(row[mid_x], test::TestPixel(shape, sx, sy)), 24);
  }
}

TEST_F(JpegLoaderTest, ColourCountGivesAnEightBitBitmapWithItsColourTable) {
  const TestJpeg colour{.width = 31, .height = 24};
  const TestJpeg grey{.width = 31, .height = 24, .components = 1};
  const struct {
    const TestJpeg* shape;
    int asked, two_pass, max_colours, pixel_tolerance, mean_tolerance;
  } cases[] = {
      {&colour, 256, 1, 256, 24, 8},
      {&colour, 300, 1, 256, 24, 8},  // above 256 counts as 256
      {&colour, 16, 1, 16, 80, 30},
      {&colour, 64, 0, 64, 128, 60},  // one pass: a fixed colour cube, dithered
      {&grey, 8, 1, 8, 40, 12},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::to_string(k.asked) + " colours, two-pass " + std::to_string(k.two_pass) +
                 (k.shape->components == 1 ? ", grey" : ""));
    std::optional<PackedBitmap> bmp = loader_.Load(Make(*k.shape), k.asked, 1, k.two_pass);
    ASSERT_TRUE(bmp) << loader_.LastMessage();
    const uint8_t* h = bmp->Data();
    EXPECT_EQ(h[14], 8);
    const int colours = static_cast<int>(Le32(h + 32));
    EXPECT_EQ(colours, loader_.ColourCount());
    EXPECT_GT(colours, 1);
    EXPECT_LE(colours, k.max_colours);
    const size_t stride = 32;  // 31 index bytes rounded up to 4
    ASSERT_EQ(bmp->Size(), 40 + 4u * colours + stride * k.shape->height);

    DibView view;
    ASSERT_TRUE(view.Parse(bmp->Data(), bmp->Size()));
    ASSERT_EQ(view.ColourCount(), colours);
    for (int i = 0; i < colours; ++i) {
      const uint8_t* e = view.ColourTable() + 4 * i;
      EXPECT_EQ(e[3], 0);
      if (k.shape->components == 1) {
        EXPECT_TRUE(e[0] == e[1] && e[1] == e[2]) << i;
      }
    }
    long total_error = 0;
    long bias[3] = {0, 0, 0};  // dithering keeps each channel's average, whatever a pixel does
    std::vector<uint32_t> row(view.Width());
    for (int y = 0; y < view.Height(); ++y) {
      for (int x = 0; x < view.Width(); ++x) ASSERT_LT(view.Row(y)[x], colours);
      view.ExpandRow(y, row.data());
      for (int x = 0; x < view.Width(); ++x) {
        test::TestRgb want = test::TestPixel(*k.shape, x, y);
        if (k.shape->components == 1) {
          const int g = test::TestGrey(*k.shape, x, y);
          want = {g, g, g};
        }
        const int d = Distance(row[x], want);
        bias[0] += int(row[x] >> 16 & 0xFF) - want.red;
        bias[1] += int(row[x] >> 8 & 0xFF) - want.green;
        bias[2] += int(row[x] & 0xFF) - want.blue;
        ASSERT_LE(d, k.pixel_tolerance) << x << "," << y;
        total_error += d;
      }
    }
    const long pixels = view.Width() * view.Height();
    EXPECT_LE(total_error / pixels, k.mean_tolerance);
    for (long channel : bias) EXPECT_LE(std::abs(channel / pixels), 6);
  }
}

TEST_F(JpegLoaderTest, TwoStepDecodeFillsCallersMemoryExactlyAsLoad) {
  const std::string path = Make({.width = 23, .height = 11});
  std::optional<PackedBitmap> whole = loader_.Load(path, 0, 1, 1);
  ASSERT_TRUE(whole);

  ASSERT_TRUE(loader_.Start(path, 0, 1, 1));
  EXPECT_EQ(loader_.Width(), 23);
  EXPECT_EQ(loader_.Height(), 11);
  ASSERT_EQ(loader_.PackedSize(), whole->Size());
  // As in a picture block: the bitmap lies behind other data, and the bytes after it stay put.
  std::vector<uint8_t> block(7 + whole->Size() + 5, 0xAB);
  ASSERT_TRUE(loader_.DecodeInto(block.data() + 7, whole->Size()));
  EXPECT_EQ(std::memcmp(block.data() + 7, whole->Data(), whole->Size()), 0);
  EXPECT_EQ(block[6], 0xAB);
  EXPECT_EQ(block[7 + whole->Size()], 0xAB);

  // The decompression ended with the decode; a buffer one byte short is refused.
  EXPECT_FALSE(loader_.DecodeInto(block.data(), block.size()));
  EXPECT_EQ(loader_.LastError(), JpegLoader::kNotStarted);
  ASSERT_TRUE(loader_.Start(path, 0, 1, 1));
  EXPECT_FALSE(loader_.DecodeInto(block.data(), loader_.PackedSize() - 1));
  EXPECT_EQ(loader_.LastError(), JpegLoader::kNotStarted);
}

TEST_F(JpegLoaderTest, ReadHeaderGivesTheFullSizeOnly) {
  int width = 0, height = 0;
  ASSERT_TRUE(
      loader_.ReadHeader(Make({.width = 321, .height = 123, .components = 1}), &width, &height));
  EXPECT_EQ(width, 321);
  EXPECT_EQ(height, 123);
  // A size filter may hold the image reader's lock around its own read.
  std::lock_guard<std::recursive_mutex> hold(JpegLoader::ImageReaderLock());
  ASSERT_TRUE(
      loader_.ReadHeader(Make({.width = 40, .height = 30, .progressive = true}), &width, &height));
  EXPECT_EQ(width, 40);
  EXPECT_EQ(height, 30);
}

TEST_F(JpegLoaderTest, FilesThatAreNotPicturesFailWithTheirReason) {
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("empty.jpg"), ""));
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("text.jpg"), "<html>not a picture</html>\n"));
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("png.jpg"), std::string("\x89PNG\r\n\x1a\n", 8)));
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("soi.jpg"), std::string("\xFF\xD8\xFF\xD9", 4)));
  const std::string cmyk = Make({.width = 8, .height = 8, .components = 4}, "cmyk.jpg");
  const struct {
    std::string path;
    int load_error;
    bool header_ok;
  } cases[] = {
      {dir_.File("missing.jpg"), JpegLoader::kCannotOpen, false},
      {dir_.Path(), JpegLoader::kDecodeFailed, false},  // a folder opens but reads nothing
      {dir_.File("empty.jpg"), JpegLoader::kDecodeFailed, false},
      {dir_.File("text.jpg"), JpegLoader::kDecodeFailed, false},
      {dir_.File("png.jpg"), JpegLoader::kDecodeFailed, false},
      {dir_.File("soi.jpg"), JpegLoader::kDecodeFailed, false},  // no image in the stream
      {cmyk, JpegLoader::kColourSpace, true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.path);
    EXPECT_FALSE(loader_.Load(k.path, 0, 1, 1));
    EXPECT_EQ(loader_.LastError(), k.load_error);
    EXPECT_FALSE(loader_.LastMessage().empty());
    int width = -1, height = -1;
    EXPECT_EQ(loader_.ReadHeader(k.path, &width, &height), k.header_ok);
  }
  // The loader is fit for the next picture after each failure.
  EXPECT_TRUE(loader_.Load(Make({.width = 4, .height = 4}), 0, 1, 1));
}

TEST_F(JpegLoaderTest, EveryTruncationOfTheFileFailsTheLoad) {
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    const TestJpeg shape{.width = 24, .height = 16, .progressive = progressive, .noise = 20};
    const std::string path = Make(shape, "cut.jpg");
    const size_t size = test::ReadFileBytes(path).size();
    ASSERT_GT(size, 200u);
    ASSERT_TRUE(loader_.Load(path, 0, 1, 1));
    // Cut anywhere before the end marker, the image cannot be complete. The file is shortened in
    // place, longest first: rewriting it for every length costs far more.
    for (size_t length = size - 3; length + 1 > 0; --length) {
      ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(length)), 0);
      std::optional<PackedBitmap> bmp = loader_.Load(path, 0, 1, 1);
      ASSERT_FALSE(bmp) << "cut at " << length;
      ASSERT_TRUE(loader_.LastError() == JpegLoader::kTruncated ||
                  loader_.LastError() == JpegLoader::kDecodeFailed)
          << "cut at " << length << ": " << loader_.LastError();
    }
  }
}

TEST_F(JpegLoaderTest, OversizedPictureAndBadScaleAreRefusedBeforeDecoding) {
  const std::string path = Make({.width = 32, .height = 32});
  loader_.SetMaxPictureBytes(40 + 96 * 32 - 1);
  EXPECT_FALSE(loader_.Load(path, 0, 1, 1));
  EXPECT_EQ(loader_.LastError(), JpegLoader::kTooLarge);
  loader_.SetMaxPictureBytes(40 + 96 * 32);
  EXPECT_TRUE(loader_.Load(path, 0, 1, 1));

  for (int denominator : {0, -2}) {
    EXPECT_FALSE(loader_.Load(path, 0, denominator, 1));
    EXPECT_EQ(loader_.LastError(), JpegLoader::kBadArgument);
  }
}

}  // namespace
}  // namespace qlm
