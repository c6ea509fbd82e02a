#include "crawl/CssScanner.h"

namespace qlm {

namespace {

bool IsCssBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// A byte that may continue an identifier: "url(" after one of these is the end of a longer name.
bool IsNameByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c >= 0x80;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view lower) {
  if (text.size() - at < lower.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    auto c = static_cast<unsigned char>(text[at + i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (c != static_cast<unsigned char>(lower[i])) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, unsigned code) {
  // NUL, surrogates and values beyond Unicode stand for the replacement character.
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes the escape whose backslash is at `at` into `out`; returns the offset after it. A
// backslash before a line end is a continuation inside a string and gives nothing; one at the end
// of the sheet gives nothing either.
std::size_t DecodeEscape(std::string_view sheet, std::size_t at, std::string& out) {
  std::size_t i = at + 1;
  if (i >= sheet.size()) return i;
  const auto c = static_cast<unsigned char>(sheet[i]);
  if (IsHexDigit(c)) {
    unsigned code = 0;
    std::size_t digits = 0;
    while (i < sheet.size() && digits < 6 && IsHexDigit(static_cast<unsigned char>(sheet[i]))) {
      code = code * 16 + static_cast<unsigned>(HexValue(static_cast<unsigned char>(sheet[i])));
      ++i;
      ++digits;
    }
    // One blank after the digits belongs to the escape ("\\32 px" is "2px"); CR LF counts as one.
    if (i < sheet.size() && IsCssBlank(static_cast<unsigned char>(sheet[i]))) {
      if (sheet[i] == '\r' && i + 1 < sheet.size() && sheet[i + 1] == '\n') ++i;
      ++i;
    }
    AppendUtf8(out, code);
    return i;
  }
  if (c == '\n' || c == '\f') return i + 1;
  if (c == '\r') return i + 1 < sheet.size() && sheet[i + 1] == '\n' ? i + 2 : i + 1;
  out += static_cast<char>(c);
  return i + 1;
}

// Reads the string whose opening quote is at `at` into `value`; returns the offset after its
// closing quote (or where an unescaped line end or the sheet's end cut it short).
std::size_t ReadString(std::string_view sheet, std::size_t at, std::string& value) {
  const char quote = sheet[at];
  std::size_t i = at + 1;
  while (i < sheet.size()) {
    const char c = sheet[i];
    if (c == quote) return i + 1;
    if (c == '\n' || c == '\r' || c == '\f') return i;  // a bad string ends at the line
    if (c == '\\') {
      i = DecodeEscape(sheet, i, value);
    } else {
      value += c;
      ++i;
    }
  }
  return i;
}

std::size_t SkipComment(std::string_view sheet, std::size_t at) {
  const std::size_t close = sheet.find("*/", at + 2);
  return close == std::string_view::npos ? sheet.size() : close + 2;
}

std::size_t SkipBlanksAndComments(std::string_view sheet, std::size_t i) {
  while (i < sheet.size()) {
    if (IsCssBlank(static_cast<unsigned char>(sheet[i]))) {
      ++i;
    } else if (sheet.substr(i, 2) == "/*") {
      i = SkipComment(sheet, i);
    } else {
      break;
    }
  }
  return i;
}

// Reads a url() whose "u" is at `at` (the caller saw "url("). Returns the offset after it, and the
// reference when it names a file; a bad url() is passed over up to its ")".
std::size_t ReadUrlFunction(std::string_view sheet, std::size_t at,
                            std::optional<CssReference>& ref) {
  ref.reset();
  std::size_t i = at + 4;
  while (i < sheet.size() && IsCssBlank(static_cast<unsigned char>(sheet[i]))) ++i;
  CssReference found;
  found.begin = at;
  bool bad = false;
  if (i < sheet.size() && (sheet[i] == '"' || sheet[i] == '\'')) {
    i = ReadString(sheet, i, found.value);
    while (i < sheet.size() && IsCssBlank(static_cast<unsigned char>(sheet[i]))) ++i;
    bad = i >= sheet.size() || sheet[i] != ')';
  } else {
    while (i < sheet.size() && sheet[i] != ')') {
      const auto c = static_cast<unsigned char>(sheet[i]);
      if (IsCssBlank(c)) {
        while (i < sheet.size() && IsCssBlank(static_cast<unsigned char>(sheet[i]))) ++i;
        bad = bad || i >= sheet.size() || sheet[i] != ')';
        break;
      }
      if (c == '"' || c == '\'' || c == '(' || c < 0x20 || c == 0x7F) {
        bad = true;
        ++i;
      } else if (c == '\\') {
        i = DecodeEscape(sheet, i, found.value);
      } else {
        found.value += static_cast<char>(c);
        ++i;
      }
    }
  }
  // A bad url() runs to its ")" (escapes passed over), as browsers read it.
  while (i < sheet.size() && sheet[i] != ')') i += sheet[i] == '\\' ? 2 : 1;
  if (i >= sheet.size()) return sheet.size();  // never closed: no reference
  found.end = i + 1;
  if (!bad && !found.value.empty()) ref = std::move(found);
  return i + 1;
}

void AppendCssString(std::string& out, std::string_view value) {
  out += '"';
  for (const char c : value) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\a ";
    } else if (c == '\r') {
      out += "\\d ";
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace

std::vector<CssReference> FindCssReferences(std::string_view sheet) {
  std::vector<CssReference> refs;
  std::size_t i = 0;
  while (i < sheet.size()) {
    const auto c = static_cast<unsigned char>(sheet[i]);
    if (c == '/' && i + 1 < sheet.size() && sheet[i + 1] == '*') {
      i = SkipComment(sheet, i);
    } else if (c == '"' || c == '\'') {
      std::string ignored;
      i = ReadString(sheet, i, ignored);
    } else if (c == '\\') {
      i += 2;  // an escaped byte of a name: never the start of anything
    } else if (c == '@' && StartsWithNoCase(sheet, i + 1, "import") &&
               (i + 7 >= sheet.size() || !IsNameByte(static_cast<unsigned char>(sheet[i + 7])))) {
      i = SkipBlanksAndComments(sheet, i + 7);
      if (i < sheet.size() && (sheet[i] == '"' || sheet[i] == '\'')) {
        CssReference ref;
        ref.import = true;
        ref.begin = i;
        i = ReadString(sheet, i, ref.value);
        ref.end = i;
        if (!ref.value.empty()) refs.push_back(std::move(ref));
      } else if (StartsWithNoCase(sheet, i, "url(")) {
        std::optional<CssReference> ref;
        i = ReadUrlFunction(sheet, i, ref);
        if (ref) {
          ref->import = true;
          refs.push_back(std::move(*ref));
        }
      }
    } else if ((c == 'u' || c == 'U') && StartsWithNoCase(sheet, i, "url(") &&
               (i == 0 || !IsNameByte(static_cast<unsigned char>(sheet[i - 1])))) {
      std::optional<CssReference> ref;
      i = ReadUrlFunction(sheet, i, ref);
      if (ref) refs.push_back(std::move(*ref));
    } else {
      ++i;
    }
  }
  return refs;
}

std::string RewriteCss(
    std::string_view sheet,
    const std::function<std::optional<std::string>(const CssReference&)>& rewrite) {
  std::string out;
  out.reserve(sheet.size() + 64);
  std::size_t copied = 0;
  for (const CssReference& ref : FindCssReferences(sheet)) {
    const std::optional<std::string> name = rewrite(ref);
    if (!name) continue;
    out.append(sheet, copied, ref.begin - copied);
    const bool import_string = ref.import && sheet[ref.begin] != 'u' && sheet[ref.begin] != 'U';
    if (!import_string) out += "url(";
    AppendCssString(out, *name);
    if (!import_string) out += ')';
    copied = ref.end;
  }
  out.append(sheet, copied);
  return out;
}

}  // namespace qlm
