#include "picture/PackedBitmap.h"

#include <cstring>
#include <limits>
#include <new>

namespace qlm {

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

size_t DibLayout::RowStride() const {
  if (width <= 0 || bit_count <= 0) return 0;
  const uint64_t bits = static_cast<uint64_t>(width) * static_cast<uint64_t>(bit_count);
  return static_cast<size_t>((bits + 31) / 32 * 4);
}

size_t DibLayout::TotalSize() const {
  if (width <= 0 || height <= 0 || colour_count < 0) return 0;
  const size_t stride = RowStride();
  if (stride == 0 || static_cast<size_t>(height) > std::numeric_limits<size_t>::max() / stride)
    return 0;
  const size_t pixels = stride * static_cast<size_t>(height);
  if (pixels > std::numeric_limits<size_t>::max() - PixelOffset()) return 0;
  return PixelOffset() + pixels;
}

void DibLayout::WriteHeader(uint8_t* dst) const {
  std::memset(dst, 0, kHeaderSize);
  PutLe32(dst + 0, kHeaderSize);
  PutLe32(dst + 4, static_cast<uint32_t>(width));
  PutLe32(dst + 8, static_cast<uint32_t>(height));
  dst[12] = 1;  // planes
  dst[14] = static_cast<uint8_t>(bit_count);
  // Compression BI_RGB, image size and both resolutions stay 0.
  PutLe32(dst + 32, static_cast<uint32_t>(colour_count));
}

bool PackedBitmap::Allocate(size_t size) {
  data_.reset();
  size_ = 0;
  if (size == 0) return false;
  data_.reset(new (std::nothrow) uint8_t[size]);
  if (!data_) return false;
  size_ = size;
  return true;
}

}  // namespace qlm
