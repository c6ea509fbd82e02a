#pragma once

#include <string>

#include "picture/ChannelMessages.h"
#include "picture/DibView.h"
#include "picture/PictureBlock.h"
#include "platform/SharedMemory.h"

namespace qlm {

// The display's view of the picture block: opened by name for reading, the integers and the
// strings copied out, the bitmap read in place. A block whose strings run off its end, or whose
// bitmap is not drawable or longer than what is left, is refused rather than read beyond its end.
// Keep the object open while drawing from Bitmap(); Close (or destruction) releases the block.
class ReceivedPicture {
 public:
  enum Error {
    kOk = 0,
    kCannotOpen = -1,  // no such block, or not this user's (SystemError() tells)
    kDamaged = -2,     // the strings do not end inside the block
    kBadBitmap = -3,   // the bitmap is missing, undrawable or cut short (Bitmap().LastError())
  };

  bool Open(const std::string& name = kPictureBlockName);
  void Close();

  bool IsOpen() const { return memory_.IsOpen(); }
  const PictureHeader& Header() const { return header_; }
  // The packed bitmap inside the block; valid while the object stays open.
  const DibView& Bitmap() const { return bitmap_; }
  // The packed bitmap's bytes as they lie in the block (to the block's end); valid while open.
  const uint8_t* BitmapBytes() const { return IsOpen() ? memory_.Data() + head_size_ : nullptr; }
  size_t BitmapSize() const { return IsOpen() ? memory_.Size() - head_size_ : 0; }
  // What the display writes over the picture: "New Picture " and the file path when the mark is
  // not empty, else nothing.
  std::string Caption() const;

  int LastError() const { return error_; }
  int SystemError() const { return memory_.Error(); }

 private:
  bool Fail(int error);

  SharedMemory memory_;
  PictureHeader header_;
  DibView bitmap_;
  size_t head_size_ = 0;  // the integers and strings before the bitmap
  int error_ = kOk;
};

}  // namespace qlm
