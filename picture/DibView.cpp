#include "picture/DibView.h"

#include "picture/PackedBitmap.h"

namespace qlm {

namespace {

uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t Rgb32(uint32_t red, uint32_t green, uint32_t blue) {
  return 0xFF000000u | red << 16 | green << 8 | blue;
}

}  // namespace

bool DibView::Parse(const uint8_t* data, size_t size) {
  *this = DibView();
  auto fail = [this](int error) {
    *this = DibView();
    error_ = error;
    return false;
  };
  if (data == nullptr || size < DibLayout::kHeaderSize) return fail(kTooShort);
  const uint32_t header_size = GetLe32(data);
  const int32_t width = static_cast<int32_t>(GetLe32(data + 4));
  const int32_t height = static_cast<int32_t>(GetLe32(data + 8));
  const uint16_t bit_count = static_cast<uint16_t>(data[14] | data[15] << 8);
  const uint32_t compression = GetLe32(data + 16);
  const uint32_t colours_used = GetLe32(data + 32);
  if (header_size < DibLayout::kHeaderSize || width <= 0 || height == 0 || height == INT32_MIN)
    return fail(kBadHeader);
  if (compression != 0) return fail(kUnsupported);
  switch (bit_count) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      return fail(kUnsupported);
  }
  uint64_t table_entries = colours_used;
  if (table_entries == 0 && bit_count <= 8) table_entries = uint64_t{1} << bit_count;
  const uint64_t stride = (static_cast<uint64_t>(width) * bit_count + 31) / 32 * 4;
  const uint64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
  const uint64_t table_offset = header_size;
  const uint64_t pixel_offset = table_offset + 4 * table_entries;
  // Each factor is below 2^33, so neither product nor sum can wrap in 64 bits.
  if (pixel_offset > size || stride * rows > size - pixel_offset) return fail(kTooShort);

  width_ = width;
  height_ = static_cast<int>(rows);
  bit_count_ = bit_count;
  colour_count_ = static_cast<int>(table_entries);
  table_ = table_entries ? data + table_offset : nullptr;
  pixels_ = data + pixel_offset;
  stride_ = static_cast<size_t>(stride);
  top_down_ = height < 0;
  return true;
}

const uint8_t* DibView::Row(int y) const {
  const int stored = top_down_ ? y : height_ - 1 - y;
  return pixels_ + static_cast<size_t>(stored) * stride_;
}

void DibView::ExpandRow(int y, uint32_t* out) const {
  const uint8_t* row = Row(y);
  auto from_table = [this](uint32_t index) {
    if (index >= static_cast<uint32_t>(colour_count_)) return Rgb32(0, 0, 0);
    const uint8_t* e = table_ + 4 * index;
    return Rgb32(e[2], e[1], e[0]);
  };
  for (int x = 0; x < width_; ++x) {
    switch (bit_count_) {
      case 1:
        out[x] = from_table(row[x >> 3] >> (7 - (x & 7)) & 1);
        break;
      case 4:
        out[x] = from_table(row[x >> 1] >> ((x & 1) ? 0 : 4) & 0x0F);
        break;
      case 8:
        out[x] = from_table(row[x]);
        break;
      case 16: {
        // BI_RGB 16-bit pixels are 5-5-5 with the top bit unused.
        const uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
        const uint32_t r = v >> 10 & 31, g = v >> 5 & 31, b = v & 31;
        out[x] = Rgb32(r << 3 | r >> 2, g << 3 | g >> 2, b << 3 | b >> 2);
        break;
      }
      case 24:
        out[x] = Rgb32(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        break;
      default:
        out[x] = Rgb32(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
        break;
    }
  }
}

}  // namespace qlm
