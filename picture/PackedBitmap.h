#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qlm {

// Where the parts of a packed device-independent bitmap lie: a 40-byte BITMAPINFOHEADER, then
// `colour_count` colour-table entries of 4 bytes (blue, green, red, 0), then the pixel rows bottom
// row first, each padded with zero bytes to a multiple of 4 bytes.
struct DibLayout {
  static constexpr size_t kHeaderSize = 40;

  int width = 0;         // pixels, > 0 for a valid layout
  int height = 0;        // pixels, > 0 for a valid layout (rows are bottom-up)
  int bit_count = 24;    // 24, or 8 when a colour table follows
  int colour_count = 0;  // colour-table entries; 0 for 24-bit

  // Bytes per row including the padding.
  size_t RowStride() const;
  // Offset of the bottom row from the start of the header.
  size_t PixelOffset() const { return kHeaderSize + 4 * static_cast<size_t>(colour_count); }
  // Bytes of the whole bitmap; 0 when the dimensions are not positive or the size overflows.
  size_t TotalSize() const;
  // Writes the 40-byte header (size 40, planes 1, BI_RGB, colours used = colour_count, all else 0).
  void WriteHeader(uint8_t* dst) const;
};

// The picture memory: one packed bitmap in one allocation. Size() is the whole allocation, which is
// what the picture channel copies behind its strings. Move-only; empty after a move or when
// allocation failed.
class PackedBitmap {
 public:
  PackedBitmap() = default;
  PackedBitmap(PackedBitmap&&) noexcept = default;
  PackedBitmap& operator=(PackedBitmap&&) noexcept = default;

  // Allocates `size` bytes, contents unspecified (the loader writes every byte). False, and
  // empty, when the memory cannot be had.
  bool Allocate(size_t size);

  bool Empty() const { return size_ == 0; }
  uint8_t* Data() { return data_.get(); }
  const uint8_t* Data() const { return data_.get(); }
  size_t Size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;  // bytes at data_; 0 exactly when data_ is null
};

}  // namespace qlm
