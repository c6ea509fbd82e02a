#include "net/CHttpHeaders.h"

#include <new>

#include "net/FindAnyOf.h"

namespace qlm {

namespace {

constexpr std::array<std::string_view, 46> kHeaderNames = {
    std::string_view{},
    "CACHE-CONTROL",
    "CONNECTION",
    "DATE",
    "PRAGMA",
    "TRANSFERE-ENCODING",
    "UPGRADE",
    "VIA",
    "ACCEPT",
    "ACCEPT-CHARSET",
    "ACCEPT-ENCODING",
    "ACCEPT-LANGUAGE",
    "AUTHORIZATION",
    "FROM",
    "HOST",
    "IF-MODIFIED-SINCE",
    "IF-MATCH",
    "IF-NONE-MATCH",
    "IF-RANGE",
    "IF-UNMODIFIED_SINCE",
    "MAX-FORWARDS",
    "PROXY-AUTHORIZATION",
    "RANGE",
    "REFERER",
    "USER-AGENT",
    "AGE",
    "LOCATION",
    "PROXY-AUTHENTICATE",
    "PUBLIC",
    "RETRY-AFTER",
    "SERVER",
    "VARY",
    "WARNING",
    "WWW-AUTHENTICATE",
    "ALLOW",
    "CONTENT-BASE",
    "CONTENT-ENCODING",
    "CONTENT-LANGUAGE",
    "CONTENT-LENGTH",
    "CONTENT-LOCATION",
    "CONTENT-MD5",
    "CONTENT-RANGE",
    "CONTENT-TYPE",
    "ETAG",
    "EXPIRES",
    "LAST-MODIFIED",
};

// The older, shorter table that only serves to find the content length in the raw block.
constexpr std::array<std::string_view, 33> kContentTableNames = {
    std::string_view{},
    "DATE",
    "FORWARDED",
    "MESSAGE-ID",
    "MIME-VERSION",
    "ACCEPT",
    "ACCEPT-CHARSET",
    "ACCEPT-ENCODING",
    "ACCEPT-LANGUAGE",
    "AUTHORIZATION",
    "FROM",
    "IF-MODIFIED-SINCE",
    "PRAGMA",
    "REFERER",
    "USER-AGENT",
    "PUBLIC",
    "RETRY-AFTER",
    "SERVER",
    "WWW-AUTHENTICATE",
    "ALLOW",
    "CONTENT-ENCODING",
    "CONTENT-LANGUAGE",
    "CONTENT-LENGTH",
    "CONTENT-TRANSFER_ENCODING",
    "CONTENT-TYPE",
    "DERIVED-FROM",
    "EXPIRES",
    "LAST-MODIFIED",
    "LINK",
    "LOCATION",
    "TITLE",
    "URI-HEADER",
    "VERSION",
};
constexpr int kContentTableLengthId = 22;

constexpr std::array<std::string_view, 8> kMediaNames = {
    std::string_view{}, "TEXT", "IMAGE", "AUDIO", "VIDEO", "APPLICATION", "MESSAGE", "MULTIPART",
};

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Token characters: bytes 33-126 other than the separators of HTTP/1.0.
bool IsTokenChar(char ch) {
  unsigned char c = static_cast<unsigned char>(ch);
  if (c <= 32 || c >= 127) return false;
  switch (c) {
    case '(':
    case ')':
    case '<':
    case '>':
    case '@':
    case ',':
    case ';':
    case ':':
    case '\\':
    case '"':
    case '/':
    case '[':
    case ']':
    case '?':
    case '=':
    case '{':
    case '}':
      return false;
    default:
      return true;
  }
}

template <size_t N>
int FindName(const std::array<std::string_view, N>& table, std::string_view upper_name) {
  for (size_t id = 1; id < N; ++id) {
    if (upper_name == table[id]) return static_cast<int>(id);
  }
  return 0;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

}  // namespace

// A read position in the header text being parsed. Readers stop at the end of the text.
class CHttpHeaders::Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }
  void Advance() { ++pos_; }
  bool AtLineEnd() const { return AtEnd() || Peek() == '\r' || Peek() == '\n'; }

  void SkipBlanks() {
    while (!AtEnd() && IsBlank(Peek())) ++pos_;
  }
  void SkipBlanksAndLineBreaks() {
    while (!AtEnd() && (IsBlank(Peek()) || Peek() == '\r' || Peek() == '\n')) ++pos_;
  }
  // Skips blanks before a value. A line break counts as a blank only when the next line is a
  // continuation (starts with a blank); otherwise the value is empty and the next header line
  // stays whole.
  void SkipValueStart() {
    for (;;) {
      SkipBlanks();
      size_t p = pos_;
      if (p < text_.size() && text_[p] == '\r') ++p;
      if (p < text_.size() && text_[p] == '\n' && p + 1 < text_.size() && IsBlank(text_[p + 1])) {
        pos_ = p + 1;
        continue;
      }
      return;
    }
  }
  // Moves past the "\n" that ends the current line, or to the end of the text.
  void SkipPastLineEnd() {
    while (!AtEnd() && Peek() != '\n') ++pos_;
    if (!AtEnd()) ++pos_;
  }
  // The rest of the current line without its line end and trailing blanks; moves to its end.
  std::string_view RestOfLine() {
    size_t start = pos_;
    while (!AtEnd() && Peek() != '\n') ++pos_;
    size_t end = pos_;
    while (end > start && (IsBlank(text_[end - 1]) || text_[end - 1] == '\r')) --end;
    return text_.substr(start, end - start);
  }
  // Reads a token into *upper, upper-cased. Returns 0, -8 when it is empty or -3 when it is
  // longer than max_bytes.
  int ReadToken(std::string* upper, size_t max_bytes) {
    upper->clear();
    while (!AtEnd() && IsTokenChar(Peek())) {
      if (upper->size() >= max_bytes) return kParseNameTooLong;
      upper->push_back(Upper(Peek()));
      ++pos_;
    }
    return upper->empty() ? kParseEmptyToken : kParseOk;
  }
  // Reads up to a blank, tab, CR, LF, NUL or the end of the text. A NUL ends the value as the
  // end of the text would: the owner hands it on as a C string (a URL, a file name), which would
  // lose what follows anyway.
  std::string_view Word() {
    size_t start = pos_;
    while (!AtEnd() && !IsBlank(Peek()) && Peek() != '\r' && Peek() != '\n' && Peek() != '\0') {
      ++pos_;
    }
    return text_.substr(start, pos_ - start);
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool CHttpHeaders::SetHeader(int id, std::string_view value) {
  if (id < 1 || id >= kRequestLineCount) return false;
  // A line break or NUL in a value would end the line early and let the value forge lines.
  if (FindAnyOf<'\r', '\n', '\0'>(value) != std::string_view::npos) return false;
  try {
    std::string line(kHeaderNames[id]);
    line += ':';
    line += value;
    request_lines_[id] = std::move(line);
  } catch (const std::bad_alloc&) {
    parse_error_ = kParseOutOfMemory;
    return false;
  }
  return true;
}

bool CHttpHeaders::SetRequestLine(std::string line) {
  request_lines_[0] = std::move(line);
  return true;
}

const std::string* CHttpHeaders::RequestLine(int index) const {
  if (index < 0 || index >= kRequestLineCount || !request_lines_[index]) return nullptr;
  return &*request_lines_[index];
}

void CHttpHeaders::ClearHeader(int id) {
  if (id >= 1 && id < kRequestLineCount) request_lines_[id].reset();
}

std::string CHttpHeaders::BuildRequestText() const {
  std::string text;
  for (const auto& line : request_lines_) {
    if (!line || line->empty()) continue;
    text += *line;
    text += "\r\n";
  }
  text += "\r\n";
  return text;
}

int CHttpHeaders::LookupHeader(std::string_view upper_name) {
  return FindName(kHeaderNames, upper_name);
}

const char* CHttpHeaders::HeaderName(int id) {
  if (id < 1 || id >= static_cast<int>(kHeaderNames.size())) return nullptr;
  return kHeaderNames[id].data();  // the literal, ended by its NUL
}

int64_t CHttpHeaders::ScanContentLength(std::string_view text) {
  size_t pos = 0;
  std::string name;
  while (pos < text.size()) {
    size_t line_end = text.find('\n', pos);
    if (line_end == std::string_view::npos) line_end = text.size();
    std::string_view line = text.substr(pos, line_end - pos);
    pos = line_end + 1;

    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    size_t colon = line.find(':', start);
    if (colon == std::string_view::npos) continue;
    name.clear();
    for (size_t i = start; i < colon; ++i) name.push_back(Upper(line[i]));
    if (FindName(kContentTableNames, name) != kContentTableLengthId) continue;

    size_t v = colon + 1;
    while (v < line.size() && IsBlank(line[v])) ++v;
    int64_t length = 0;
    for (; v < line.size() && line[v] >= '0' && line[v] <= '9'; ++v) {
      if (length > (INT64_MAX - 9) / 10) return 0;
      length = length * 10 + (line[v] - '0');
    }
    return length;
  }
  return 0;
}

bool CHttpHeaders::ParseReplyHeaders(std::string_view text) {
  parse_error_ = kParseOk;
  location_.clear();
  has_last_modified_ = false;
  has_content_type_ = false;
  if (text.empty() || text.starts_with("\r\n\r\n") || text.starts_with("\n\n")) return true;

  Cursor cursor(text);
  for (;;) {
    cursor.SkipBlanksAndLineBreaks();
    if (cursor.AtEnd()) return true;
    if (!ParseOneHeader(cursor)) return false;
    cursor.SkipPastLineEnd();
  }
}

// Parses one "NAME: value" line from its name on; false with parse_error_ set on a failure.
bool CHttpHeaders::ParseOneHeader(Cursor& cursor) {
  std::string name;
  if (int error = cursor.ReadToken(&name, kMaxNameBytes); error != kParseOk) {
    parse_error_ = static_cast<int16_t>(error);
    return false;
  }
  current_id_ = LookupHeader(name);
  if (cursor.AtEnd()) {
    parse_error_ = kParseUnexpectedEnd;
    return false;
  }
  if (cursor.Peek() != ':') {
    parse_error_ = kParseNoColon;
    return false;
  }
  cursor.Advance();
  cursor.SkipValueStart();

  switch (current_id_) {
    case kHeaderDate: {
      HttpDate ignored;
      if (!ParseHttpDate(cursor.RestOfLine(), &ignored)) {
        parse_error_ = kParseBadDate;
        return false;
      }
      return true;
    }
    case kHeaderLocation: {
      std::string_view value = cursor.Word();
      if (value.size() > kMaxLocationBytes) {
        parse_error_ = kParseLocationTooLong;
        return false;
      }
      if (value.empty()) {
        parse_error_ = kParseEmptyLocation;
        return false;
      }
      location_.assign(value);
      return true;
    }
    case kHeaderProxyAuthenticate:
    case kHeaderWwwAuthenticate: {
      std::string scheme;
      if (int error = cursor.ReadToken(&scheme, kMaxNameBytes); error != kParseOk) {
        parse_error_ = static_cast<int16_t>(error);
        return false;
      }
      if (EqualNoCase(scheme, "Basic")) challenge_scheme_ = kAuthBasic;
      if (EqualNoCase(scheme, "Digest")) challenge_scheme_ = kAuthDigest;
      return true;
    }
    case kHeaderContentType:
      return ParseContentType(cursor);
    case kHeaderLastModified: {
      HttpDate date;
      if (!ParseHttpDate(cursor.RestOfLine(), &date)) {
        parse_error_ = kParseBadLastModified;
        return false;
      }
      last_modified_ = date;
      has_last_modified_ = true;
      return true;
    }
    default:
      return true;
  }
}

// type "/" subtype, then parameters: attribute "=" (token | quoted string), separated by ";"
// (or blanks, as older servers write them).
bool CHttpHeaders::ParseContentType(Cursor& cursor) {
  auto fail = [this](int error) {
    parse_error_ = static_cast<int16_t>(error);
    return false;
  };
  std::string token;
  if (int error = cursor.ReadToken(&token, kMaxNameBytes); error != kParseOk) return fail(error);
  media_type_ = FindName(kMediaNames, token);
  if (cursor.AtEnd() || cursor.Peek() != '/') return fail(kParseNoSlash);
  cursor.Advance();
  if (int error = cursor.ReadToken(&token, kMaxNameBytes); error != kParseOk) return fail(error);
  media_subtype_ = token;

  for (;;) {
    cursor.SkipBlanks();
    if (cursor.AtLineEnd()) break;
    if (cursor.Peek() == ';') {
      cursor.Advance();
      continue;
    }
    if (int error = cursor.ReadToken(&token, kMaxNameBytes); error != kParseOk) return fail(error);
    cursor.SkipBlanks();
    if (cursor.AtEnd() || cursor.Peek() != '=') return fail(kParseParameterNoEquals);
    cursor.Advance();
    cursor.SkipBlanks();
    if (!cursor.AtEnd() && cursor.Peek() == '"') {
      cursor.Advance();
      for (;;) {
        if (cursor.AtLineEnd()) return fail(kParseUnexpectedEnd);
        char c = cursor.Peek();
        cursor.Advance();
        if (c == '"') break;
        if (c == '\\') {
          if (cursor.AtLineEnd()) return fail(kParseUnexpectedEnd);
          cursor.Advance();
        }
      }
    } else if (int error = cursor.ReadToken(&token, kMaxNameBytes); error != kParseOk) {
      return fail(error);
    }
  }
  has_content_type_ = true;
  return true;
}

}  // namespace qlm
