#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qlm {

// Encodes one record of a persistent record list as a length-prefixed field sequence: an integer
// is a 4-byte length (always 4) and its 4-byte value; a string is a 4-byte length that counts a
// terminating zero, then its bytes and the zero. All numbers are little-endian.
class RecordWriter {
 public:
  void AddInt(int32_t value);
  void AddString(std::string_view text);

  const std::string& Bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  void AddWord(uint32_t word);

  std::string bytes_;
};

}  // namespace qlm
