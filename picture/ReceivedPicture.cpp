#include "picture/ReceivedPicture.h"

namespace qlm {

bool ReceivedPicture::Fail(int error) {
  error_ = error;
  memory_.Close();
  bitmap_ = DibView();
  return false;
}

bool ReceivedPicture::Open(const std::string& name) {
  Close();
  if (!memory_.OpenForReading(name)) return Fail(kCannotOpen);
  size_t head_size = 0;
  if (!PictureBlock::ReadHead(memory_.Data(), memory_.Size(), &header_, &head_size)) {
    return Fail(kDamaged);
  }
  if (!bitmap_.Parse(memory_.Data() + head_size, memory_.Size() - head_size)) {
    return Fail(kBadBitmap);
  }
  head_size_ = head_size;
  return true;
}

void ReceivedPicture::Close() {
  memory_.Close();
  header_ = PictureHeader();
  bitmap_ = DibView();
  head_size_ = 0;
  error_ = kOk;
}

std::string ReceivedPicture::Caption() const {
  return header_.mark.empty() ? std::string() : "New Picture " + header_.file;
}

}  // namespace qlm
