#include "project/RecordReader.h"

namespace qlm {

bool RecordReader::ReadWord(std::size_t at, uint32_t& word) const {
  if (bytes_.size() < at || bytes_.size() - at < 4) return false;
  word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(bytes_[at + i]);
  return true;
}

bool RecordReader::ReadInt(int32_t& value) {
  uint32_t length = 0;
  uint32_t word = 0;
  if (!ReadWord(pos_, length) || length != 4 || !ReadWord(pos_ + 4, word)) return false;
  value = static_cast<int32_t>(word);
  pos_ += 8;
  return true;
}

bool RecordReader::ReadString(std::string& text) {
  uint32_t length = 0;
  if (!ReadWord(pos_, length) || length == 0) return false;
  const std::size_t start = pos_ + 4;
  if (bytes_.size() - start < length || bytes_[start + length - 1] != '\0') return false;
  text.assign(bytes_.substr(start, length - 1));
  pos_ = start + length;
  return true;
}

}  // namespace qlm
