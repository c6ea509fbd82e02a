#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/SharedMemory.h"

namespace qlm {

// What travels with a picture besides its bitmap.
struct PictureHeader {
  std::uint32_t colour = 0;     // background COLORREF 0x00BBGGRR
  std::int32_t effect = 0;      // transition 0..11; 0 while the panel steps through pictures
  std::int32_t step_delay = 0;  // milliseconds each transition step lasts at least
  std::string mark;             // "New Picture" for a picture just picked up, else empty
  std::string file;             // full path of the picture file
  std::string folder;           // as in the picture's record, normally empty
  std::string item;             // as in the picture's record, normally empty
};

// The picture block, the main program's side: one named shared-memory block per picture, sized
// exactly for it and laid out, all integers little-endian, as
//   0  colour      4 bytes
//   4  effect      4 bytes, signed
//   8  step delay  4 bytes, signed
//   12 reserved    4 bytes, 0
//   16 mark, file, folder, item: each its bytes and a NUL
//   then the packed bitmap (40-byte header, colour table, rows bottom-up padded to 4 bytes).
// A string holding a NUL of its own would shift everything after it, so each is cut at its first
// NUL when written.
class PictureBlock {
 public:
  static constexpr size_t kIntegerBytes = 16;

  // Bytes before the bitmap for this header.
  static size_t HeadSize(const PictureHeader& header);
  // Writes the integers and strings at `dst` (HeadSize bytes) and returns the bytes written.
  static size_t WriteHead(const PictureHeader& header, std::uint8_t* dst);
  // Reads them back from `size` bytes at `data`; false when the bytes end before the fourth NUL.
  // `*head_size` is where the bitmap begins.
  static bool ReadHead(const std::uint8_t* data, size_t size, PictureHeader* header,
                       size_t* head_size);

  // Creates the block `name` anew for a bitmap of `bitmap_bytes`, writes the head, and leaves the
  // bitmap area for the caller to fill. Any block this object held is closed first. False with
  // Error() an errno when the block cannot be had.
  bool Create(const std::string& name, const PictureHeader& header, size_t bitmap_bytes);
  // Unmaps and withdraws the block; harmless when none is held.
  void Close() { memory_.Close(); }

  bool IsOpen() const { return memory_.IsOpen(); }
  std::uint8_t* BitmapArea() { return memory_.Data() + head_size_; }
  size_t BitmapBytes() const { return memory_.Size() - head_size_; }
  size_t Size() const { return memory_.Size(); }
  int Error() const { return memory_.Error(); }

 private:
  SharedMemory memory_;
  size_t head_size_ = 0;  // of the block held
};

}  // namespace qlm
