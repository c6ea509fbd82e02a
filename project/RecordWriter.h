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
  // Room for `bytes` more, so that a record whose size is known is written in one piece.
  void Reserve(std::size_t bytes) { bytes_.reserve(bytes_.size() + bytes); }
  // What AddInt and AddString add.
  static constexpr std::size_t kIntSize = 8;
  static constexpr std::size_t StringSize(std::string_view text) { return 4 + text.size() + 1; }

  const std::string& Bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  void AddWord(uint32_t word);

  std::string bytes_;
};

}  // namespace qlm
