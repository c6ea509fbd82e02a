#pragma once

#include <cstdint>
#include <string_view>

namespace qlm {

// A name known by two independent 64-bit hashes, for sets that must not keep the names
// themselves (a patrol's sets grow with the site). Two names pass for one only when both hashes
// agree: with n names the odds are about n * n / 2^129.
struct NameHash {
  std::uint64_t first = 0;
  std::uint64_t second = 0;

  static NameHash Of(std::string_view name);
  bool operator==(const NameHash&) const = default;

  // For unordered containers: the first hash is well mixed already. It cannot throw, so the
  // containers keep no copy of it beside each entry.
  struct Hasher {
    std::size_t operator()(const NameHash& hash) const noexcept { return hash.first; }
  };
};

// A file's bytes known by their length and hash: to tell whether a file still holds the bytes
// something was made from.
struct StoredBytes {
  std::uint64_t size = 0;
  NameHash hash;

  // A hash made for whole files (a patrol hashes every page it keeps twice): the library's string
  // hash and four independent lanes of words, which a processor works on side by side.
  static StoredBytes Of(std::string_view bytes);
  bool operator==(const StoredBytes&) const = default;
};

}  // namespace qlm
