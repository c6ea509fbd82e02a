#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "picture/DibView.h"
#include "picture/PackedBitmap.h"

namespace qlm {
namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A bitmap block as another program might hand it over: header, `entries` table slots filled with
// a recognisable colour each, then `rows` rows of `stride` bytes.
std::vector<uint8_t> Block(int width, int32_t height, int bits, uint32_t colours_used, int entries,
                           size_t stride, int rows, uint32_t header_size = 40) {
  std::vector<uint8_t> b(header_size + 4 * entries + stride * rows, 0);
  Put32(b, 0, header_size);
  Put32(b, 4, static_cast<uint32_t>(width));
  Put32(b, 8, static_cast<uint32_t>(height));
  b[12] = 1;
  b[14] = static_cast<uint8_t>(bits);
  Put32(b, 32, colours_used);
  for (int i = 0; i < entries; ++i) {
    uint8_t* e = &b[header_size + 4 * i];
    e[0] = static_cast<uint8_t>(i);        // blue
    e[1] = static_cast<uint8_t>(2 * i);    // green
    e[2] = static_cast<uint8_t>(255 - i);  // red
  }
  return b;
}

TEST(DibViewTest, ColourTableLengthFollowsColoursUsedOrTheDepth) {
  const struct {
    int bits;
    uint32_t colours_used;
    int entries;
    size_t stride;  // for a 5-pixel row
    uint32_t header_size;
  } cases[] = {
      {1, 0, 2, 4, 40},   {4, 0, 16, 4, 40},  {8, 0, 256, 8, 40}, {8, 3, 3, 8, 40},
      {24, 0, 0, 16, 40}, {24, 2, 2, 16, 40},  // a table ahead of 24-bit pixels is skipped
      {32, 0, 0, 20, 40}, {16, 0, 0, 12, 40}, {8, 4, 4, 8, 108},  // a longer header is skipped
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::to_string(k.bits) + " bits, colours used " + std::to_string(k.colours_used));
    const std::vector<uint8_t> b =
        Block(5, 2, k.bits, k.colours_used, k.entries, k.stride, 2, k.header_size);
    DibView view;
    ASSERT_TRUE(view.Parse(b.data(), b.size()));
    EXPECT_EQ(view.Width(), 5);
    EXPECT_EQ(view.Height(), 2);
    EXPECT_EQ(view.ColourCount(), k.entries);
    EXPECT_EQ(view.RowStride(), k.stride);
    // Bottom-up: the top row is the one stored last.
    EXPECT_EQ(view.Row(1), b.data() + k.header_size + 4 * k.entries);
    EXPECT_EQ(view.Row(0), view.Row(1) + k.stride);
    // Every byte the view may touch is inside the block; one byte less is refused.
    EXPECT_FALSE(view.Parse(b.data(), b.size() - 1));
    EXPECT_EQ(view.LastError(), DibView::kTooShort);
  }
}

TEST(DibViewTest, ExpandRowGivesRgb32ForEveryDepth) {
  // 1 bit: pixels 1,0,1 use entries 1 and 0.
  std::vector<uint8_t> b1 = Block(3, 1, 1, 0, 2, 4, 1);
  b1[40 + 8] = 0b10100000;
  // 4 bits: pixels 15, 2, 7.
  std::vector<uint8_t> b4 = Block(3, 1, 4, 0, 16, 4, 1);
  b4[40 + 64] = 0xF2;
  b4[40 + 65] = 0x70;
  // 8 bits with 3 colours: index 2, 0, and 9 lies beyond the table and shows black.
  std::vector<uint8_t> b8 = Block(3, 1, 8, 3, 3, 4, 1);
  b8[52] = 2;
  b8[53] = 0;
  b8[54] = 9;
  // 16 bits 5-5-5: full red, full green, a blue of 16 (0b10000 widens to 0x84).
  std::vector<uint8_t> b16 = Block(3, 1, 16, 0, 0, 8, 1);
  const uint16_t p16[3] = {0x7C00, 0x03E0, 0x0010};
  for (int i = 0; i < 3; ++i) {
    b16[40 + 2 * i] = p16[i] & 0xFF;
    b16[41 + 2 * i] = p16[i] >> 8;
  }
  // 24 and 32 bits store blue, green, red.
  std::vector<uint8_t> b24 = Block(3, 1, 24, 0, 0, 12, 1);
  const uint8_t p24[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::copy(p24, p24 + 9, b24.begin() + 40);
  std::vector<uint8_t> b32 = Block(3, 1, 32, 0, 0, 12, 1);
  const uint8_t p32[12] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
  std::copy(p32, p32 + 12, b32.begin() + 40);

  auto entry = [](int i) { return 0xFF000000u | uint32_t(255 - i) << 16 | (2 * i) << 8 | i; };
  const struct {
    const std::vector<uint8_t>* block;
    uint32_t want[3];
  } cases[] = {
      {&b1, {entry(1), entry(0), entry(1)}},
      {&b4, {entry(15), entry(2), entry(7)}},
      {&b8, {entry(2), entry(0), 0xFF000000u}},
      {&b16, {0xFFFF0000u, 0xFF00FF00u, 0xFF000084u}},
      {&b24, {0xFF030201u, 0xFF060504u, 0xFF090807u}},
      {&b32, {0xFF030201u, 0xFF060504u, 0xFF090807u}},
  };
  for (const auto& k : cases) {
    DibView view;
    ASSERT_TRUE(view.Parse(k.block->data(), k.block->size()));
    SCOPED_TRACE(view.BitCount());
    uint32_t got[3] = {};
    view.ExpandRow(0, got);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(got[x], k.want[x]) << x;
  }
}

TEST(DibViewTest, NegativeHeightStoresTheTopRowFirst) {
  std::vector<uint8_t> b = Block(1, -2, 24, 0, 0, 4, 2);
  b[40 + 2] = 0xAA;  // red of the first stored row
  b[44 + 2] = 0xBB;
  DibView view;
  ASSERT_TRUE(view.Parse(b.data(), b.size()));
  EXPECT_EQ(view.Height(), 2);
  uint32_t px = 0;
  view.ExpandRow(0, &px);
  EXPECT_EQ(px, 0xFFAA0000u);
  view.ExpandRow(1, &px);
  EXPECT_EQ(px, 0xFFBB0000u);
}

TEST(DibViewTest, RefusesHeadersItCannotDraw) {
  const struct {
    const char* what;
    std::vector<uint8_t> block;
    int error;
  } cases[] = {
      {"no header", std::vector<uint8_t>(39, 0), DibView::kTooShort},
      {"old 12-byte header", Block(2, 2, 24, 0, 0, 16, 2, 12), DibView::kBadHeader},
      {"width 0", Block(0, 2, 24, 0, 0, 0, 2), DibView::kBadHeader},
      {"negative width", Block(-3, 2, 24, 0, 0, 0, 2), DibView::kBadHeader},
      {"height 0", Block(2, 0, 24, 0, 0, 8, 0), DibView::kBadHeader},
      {"2 bits", Block(2, 2, 2, 0, 0, 4, 2), DibView::kUnsupported},
      {"huge width", Block(0x7FFFFFFF, 1, 24, 0, 0, 8, 1), DibView::kTooShort},
      {"huge colours used", Block(2, 1, 8, 0xFFFFFFFF, 0, 4, 1), DibView::kTooShort},
      {"huge height", Block(1, 0x7FFFFFFF, 24, 0, 0, 4, 1), DibView::kTooShort},
  };
  for (const auto& k : cases) {
    DibView view;
    EXPECT_FALSE(view.Parse(k.block.data(), k.block.size())) << k.what;
    EXPECT_EQ(view.LastError(), k.error) << k.what;
  }
  std::vector<uint8_t> rle = Block(2, 2, 8, 0, 256, 4, 2);
  rle[16] = 1;  // BI_RLE8
  DibView view;
  EXPECT_FALSE(view.Parse(rle.data(), rle.size()));
  EXPECT_EQ(view.LastError(), DibView::kUnsupported);
}

TEST(DibViewTest, ReadsWhatTheLayoutWrites) {
  const DibLayout layout{.width = 7, .height = 3, .bit_count = 8, .colour_count = 5};
  std::vector<uint8_t> b(layout.TotalSize(), 0);
  ASSERT_EQ(b.size(), 40u + 20u + 8u * 3u);
  layout.WriteHeader(b.data());
  DibView view;
  ASSERT_TRUE(view.Parse(b.data(), b.size()));
  EXPECT_EQ(view.Width(), 7);
  EXPECT_EQ(view.Height(), 3);
  EXPECT_EQ(view.BitCount(), 8);
  EXPECT_EQ(view.ColourCount(), 5);
  EXPECT_EQ(view.Row(2), b.data() + layout.PixelOffset());
  EXPECT_EQ((DibLayout{.width = 0, .height = 3}.TotalSize()), 0u);
  EXPECT_EQ((DibLayout{.width = 65535, .height = 65535}.TotalSize()),
            size_t{40} + size_t{196608} * 65535);
}

}  // namespace
}  // namespace qlm
