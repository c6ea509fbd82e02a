#include "net/HttpStatusLine.h"

namespace qlm {

namespace {

constexpr int kMaxDigits = 9;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr int kNoStop = -1;

// Reads digits into *value from pos up to the end of text or the stop character (kNoStop: none);
// false at the first other character or past kMaxDigits digits, with the digits so far kept.
bool ReadNumber(std::string_view text, size_t* pos, int stop, int* value) {
  int digits = 0;
  while (*pos < text.size() && static_cast<unsigned char>(text[*pos]) != stop) {
    char c = text[*pos];
    if (!IsDigit(c) || ++digits > kMaxDigits) return false;
    *value = *value * 10 + (c - '0');
    ++*pos;
  }
  return true;
}

}  // namespace

bool ParseStatusLine(std::string_view line, HttpStatusLine* fields) {
  size_t pos = 0;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  size_t token_end = pos;
  while (token_end < line.size() && !IsBlank(line[token_end])) ++token_end;
  std::string_view token = line.substr(pos, token_end - pos);

  static constexpr std::string_view kPrefix = "HTTP/";
  if (token.size() < kPrefix.size()) return false;
  for (size_t i = 0; i < kPrefix.size(); ++i) {
    char c = token[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kPrefix[i]) return false;
  }
  std::string_view version = token.substr(kPrefix.size());
  size_t vpos = 0;
  fields->version_major = 0;
  if (!ReadNumber(version, &vpos, '.', &fields->version_major)) return false;
  if (vpos == version.size()) return false;  // no "." in the version
  ++vpos;
  fields->version_minor = 0;
  if (!ReadNumber(version, &vpos, kNoStop, &fields->version_minor)) return false;

  pos = token_end;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  fields->status_code = 0;
  size_t code_end = pos;
  while (code_end < line.size() && !IsBlank(line[code_end])) ++code_end;
  std::string_view code = line.substr(pos, code_end - pos);
  size_t cpos = 0;
  return ReadNumber(code, &cpos, kNoStop, &fields->status_code) && !code.empty();
}

}  // namespace qlm
