#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qlm {

// Decodes the field sequence that RecordWriter encodes. Every read checks the field's length word
// against the kind expected and the bytes left; a failed read leaves the position where it was.
class RecordReader {
 public:
  explicit RecordReader(std::string_view bytes) : bytes_(bytes) {}

  // False when the next field is not an integer (length word other than 4) or is cut short.
  bool ReadInt(int32_t& value);
  // False when the next field is cut short or does not end in its terminating zero.
  bool ReadString(std::string& text);
  // True when every byte has been read: a record with bytes left over is malformed.
  bool AtEnd() const { return pos_ == bytes_.size(); }

 private:
  bool ReadWord(std::size_t at, uint32_t& word) const;

  std::string_view bytes_;
  std::size_t pos_ = 0;  // offset of the next field in bytes_
};

}  // namespace qlm
