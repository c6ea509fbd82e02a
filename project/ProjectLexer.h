#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace qlm {

// Splits a project file into tokens, one byte at a time. Text is single-byte with Shift_JIS
// double-byte characters; words may contain them, strings take any byte but the double quote.
class ProjectLexer {
 public:
  enum class Kind : uint8_t {
    kEnd,      // end of the input
    kComma,    // ","
    kEqual,    // "="
    kOpen,     // "{"
    kClose,    // "}"
    kNumber,   // a run of decimal digits; `number` holds its value
    kString,   // a double-quoted string; `text` holds the bytes between the quotes
    kWord,     // a letter or a double-byte character, then letters, digits, double-byte characters
    kInvalid,  // any other byte, a string without its closing quote or longer than kMaxText
  };

  struct Token {
    Kind kind = Kind::kEnd;
    int32_t number = 0;  // kNumber: the digits accumulated in unsigned 32 bits, wrapping
    std::string text;    // kString: its bytes; kWord: its first kMaxText bytes

    bool Is(Kind k) const { return kind == k; }
    bool IsWord(std::string_view word) const { return kind == Kind::kWord && text == word; }
  };

  // The longest string, and the longest part of a word that is kept, in bytes.
  static constexpr std::size_t kMaxText = 4095;

  explicit ProjectLexer(std::string_view text) : text_(text) {}
  // Reads from an open file; the file stays the caller's.
  explicit ProjectLexer(std::FILE* file) : file_(file) {}

  Token Next();
  // The line of the last byte read, counted from 1.
  int Line() const { return line_; }

 private:
  int Get();
  void Unget(int byte) {
    pending_ = byte;
    if (byte == '\n') --line_;
  }

  std::FILE* file_ = nullptr;
  std::string_view text_;
  std::size_t pos_ = 0;  // offset of the next byte in text_
  int pending_ = -2;     // a byte read one too far and handed back, or -2 for none
  int line_ = 1;
};

}  // namespace qlm
