#pragma once

#include <cstddef>
#include <string_view>

namespace qlm {

// The first of the bytes `Set` in `s` at or after `pos`, or npos. For the few-byte sets of URL
// and header parsing: std::string_view::find_first_of looks each byte of `s` up in its set with
// a library call, which made it the parse's busiest function.
template <char... Set>
constexpr std::size_t FindAnyOf(std::string_view s, std::size_t pos = 0) {
  for (; pos < s.size(); ++pos) {
    if (((s[pos] == Set) || ...)) return pos;
  }
  return std::string_view::npos;
}

}  // namespace qlm
