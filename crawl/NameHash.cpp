#include "crawl/NameHash.h"

#include <cstring>
#include <functional>

namespace qlm {

namespace {

// The finaliser of splitmix64: every bit of the input reaches every bit of the output.
std::uint64_t Mix(std::uint64_t x) {
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// The second hash, unrelated to the library's string hash: eight bytes at a time, each word
// mixed into the state, the length in the last one.
std::uint64_t WordHash(std::string_view name) {
  std::uint64_t state = 0x9e3779b97f4a7c15ull;
  std::size_t at = 0;
  for (; at + 8 <= name.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, name.data() + at, 8);
    state = Mix(state ^ word);
  }
  std::uint64_t last = 0;
  if (at < name.size()) std::memcpy(&last, name.data() + at, name.size() - at);
  return Mix(state ^ last ^ (static_cast<std::uint64_t>(name.size()) << 56));
}

}  // namespace

NameHash NameHash::Of(std::string_view name) {
  return {std::hash<std::string_view>{}(name), WordHash(name)};
}

StoredBytes StoredBytes::Of(std::string_view bytes) {
  std::uint64_t lanes[4] = {0x9e3779b97f4a7c15ull, 0xbf58476d1ce4e5b9ull, 0x94d049bb133111ebull,
                            0x2545f4914f6cdd1dull};
  std::size_t at = 0;
  for (; at + 32 <= bytes.size(); at += 32) {
    std::uint64_t words[4];
    std::memcpy(words, bytes.data() + at, 32);
    for (int i = 0; i < 4; ++i) lanes[i] = Mix(lanes[i] ^ words[i]);
  }
  const std::uint64_t rest = WordHash(bytes.substr(at));
  std::uint64_t second = rest;
  for (const std::uint64_t lane : lanes) second = Mix(second ^ lane);
  return {bytes.size(), {std::hash<std::string_view>{}(bytes), second}};
}

}  // namespace qlm
