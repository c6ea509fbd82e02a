#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "crawl/NameHash.h"

namespace qlm {

// The records of the patrol's own small files (the link cache, the validator log): numbers in the
// machine's order and texts after their lengths, each record followed by a checksum of its bytes,
// so that a record cut off or damaged is told from a whole one.

// FNV-1a, which can be carried on over a record written in parts.
inline constexpr std::uint64_t kChecksumStart = 0xcbf29ce484222325ull;
inline std::uint64_t Checksum(std::uint64_t sum, std::string_view bytes) {
  for (const char c : bytes) sum = (sum ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  return sum;
}

template <typename T>
void AppendRecordBytes(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}
inline void AppendRecordBytes(std::string& out, const NameHash& hash) {
  AppendRecordBytes(out, hash.first);
  AppendRecordBytes(out, hash.second);
}
inline void AppendRecordBytes(std::string& out, const StoredBytes& bytes) {
  AppendRecordBytes(out, bytes.size);
  AppendRecordBytes(out, bytes.hash);
}
// Closes the record that begins at `from` in `out` with its checksum.
inline void EndRecord(std::string& out, std::size_t from) {
  AppendRecordBytes(out, Checksum(kChecksumStart, std::string_view(out).substr(from)));
}

// Reads a file's numbers and texts in order; any read past the end fails it for good.
class RecordReader {
 public:
  explicit RecordReader(std::string_view bytes) : rest_(bytes) {}
  template <typename T>
  bool Take(T& value) {
    if (rest_.size() < sizeof value) return Fail();
    std::memcpy(&value, rest_.data(), sizeof value);
    rest_.remove_prefix(sizeof value);
    return true;
  }
  bool Take(NameHash& hash) { return Take(hash.first) && Take(hash.second); }
  bool Take(StoredBytes& bytes) { return Take(bytes.size) && Take(bytes.hash); }
  bool Take(std::string_view& text, std::size_t length) {
    if (rest_.size() < length) return Fail();
    text = rest_.substr(0, length);
    rest_.remove_prefix(length);
    return true;
  }
  bool AtEnd() const { return rest_.empty(); }
  const char* At() const { return rest_.data(); }
  // Reads the checksum that ends the record begun at `begin`; false when it does not match.
  bool CheckRecord(const char* begin) {
    const std::uint64_t sum =
        Checksum(kChecksumStart, std::string_view(begin, rest_.data() - begin));
    std::uint64_t stored = 0;
    return Take(stored) && stored == sum;
  }

 private:
  bool Fail() {
    rest_ = {};
    return false;
  }
  std::string_view rest_;
};

}  // namespace qlm
