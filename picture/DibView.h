#pragma once

#include <cstddef>
#include <cstdint>

namespace qlm {

// A read-only look at a packed device-independent bitmap held in memory that belongs to someone
// else (a PackedBitmap, or the bitmap at the end of a mapped picture block). Parse() checks that
// the header describes something drawable and that the colour table and every row lie inside the
// given bytes, so that a short or damaged block is refused instead of read beyond its end.
class DibView {
 public:
  enum Error {
    kOk = 0,
    kTooShort = -1,     // fewer bytes than the header, colour table and rows need
    kBadHeader = -2,    // header size below 40, width not positive, height 0
    kUnsupported = -3,  // compressed, or a depth other than 1, 4, 8, 16, 24, 32 bits
  };

  // Reads the header at `data` (`size` bytes available). The colour table has biClrUsed entries
  // when that field is not 0, else 2, 16 or 256 entries for 1, 4 or 8 bits and none for deeper
  // pixels; the rows start after the header (biSize bytes) and the table.
  bool Parse(const uint8_t* data, size_t size);
  int LastError() const { return error_; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitCount() const { return bit_count_; }
  int ColourCount() const { return colour_count_; }
  // Entry i of the colour table as 4 bytes blue, green, red, reserved; null without a table.
  const uint8_t* ColourTable() const { return table_; }
  size_t RowStride() const { return stride_; }
  // The pixel bytes of row y counted from the top of the picture (0 <= y < Height()), whichever
  // way the rows are stored.
  const uint8_t* Row(int y) const;
  // Converts row y (from the top) into Width() pixels 0xFFRRGGBB, the layout of a 32-bit RGB
  // image in memory on this machine. Indexes beyond the colour table give black.
  void ExpandRow(int y, uint32_t* out) const;

 private:
  const uint8_t* table_ = nullptr;   // colour_count_ entries of 4 bytes, or null
  const uint8_t* pixels_ = nullptr;  // first stored row (the bottom one unless top_down_)
  int error_ = kOk;
  int width_ = 0;
  int height_ = 0;  // always positive once parsed
  int bit_count_ = 0;
  int colour_count_ = 0;
  bool top_down_ = false;  // a negative height in the header stores the top row first
  size_t stride_ = 0;      // bytes per stored row, padding included
};

}  // namespace qlm
