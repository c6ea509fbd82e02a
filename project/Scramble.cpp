#include "project/Scramble.h"

namespace qlm {

namespace {

constexpr std::string_view kKey = "vorpelunix";

unsigned char KeyAt(size_t position) {
  return static_cast<unsigned char>(kKey[position % 10]);
}

bool UnsafeInQuotedText(unsigned char byte) {
  return byte == '"' || byte == '\0' || byte == '\r' || byte == '\n';
}

}  // namespace

std::string Scramble(std::string_view clear) {
  std::string scrambled;
  scrambled.reserve(clear.size() * 3);
  for (size_t i = 0; i < clear.size(); ++i) {
    const auto byte = static_cast<unsigned char>(clear[i]);
    const size_t j = 3 * i;
    const auto c1 = static_cast<unsigned char>(KeyAt(j) + (byte & 15));
    const auto c3 = static_cast<unsigned char>(KeyAt(j + 2) + ((byte >> 4) & 15));
    const auto product = static_cast<unsigned char>(c1 * c3);
    scrambled += static_cast<char>(c1);
    scrambled += static_cast<char>(UnsafeInQuotedText(product) ? c1 : product);
    scrambled += static_cast<char>(c3);
  }
  return scrambled;
}

std::string Unscramble(std::string_view scrambled) {
  std::string clear;
  clear.reserve(scrambled.size() / 3);
  for (size_t j = 0; j + 3 <= scrambled.size(); j += 3) {
    const auto low =
        static_cast<unsigned char>(static_cast<unsigned char>(scrambled[j]) - KeyAt(j));
    const auto high =
        static_cast<unsigned char>(static_cast<unsigned char>(scrambled[j + 2]) - KeyAt(j + 2));
    clear += static_cast<char>(static_cast<unsigned char>(high * 16 + low));
  }
  return clear;
}

}  // namespace qlm
