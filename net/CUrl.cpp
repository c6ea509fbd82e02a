#include "net/CUrl.h"

#include <array>
#include <functional>
#include <new>
#include <utility>

#include "net/FindAnyOf.h"

namespace qlm {
namespace {

struct NamedId {
  std::string_view name;
  int32_t id;
};

constexpr auto kSchemes = std::to_array<NamedId>({{"ftp", kSchemeFtp},
                                                  {"file", kSchemeFile},
                                                  {"gopher", kSchemeGopher},
                                                  {"http", kSchemeHttp},
                                                  {"https", kSchemeHttps},
                                                  {"mailto", kSchemeMailto},
                                                  {"news", kSchemeNews},
                                                  {"nntp", kSchemeNntp},
                                                  {"prospero", kSchemeProspero},
                                                  {"telnet", kSchemeTelnet},
                                                  {"wais", kSchemeWais}});

constexpr auto kExtensions = std::to_array<NamedId>({{"cgi", kFileTypeCgi},
                                                     {"gif", kFileTypeGif},
                                                     {"htm", kFileTypeHtml},
                                                     {"html", kFileTypeHtml},
                                                     {"shtm", kFileTypeHtml},
                                                     {"shtml", kFileTypeHtml},
                                                     {"jpg", kFileTypeJpeg},
                                                     {"jpeg", kFileTypeJpeg}});

// Character tests on bytes; the C library's versions depend on the locale and would take
// Shift_JIS bytes for letters in some of them.
bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
  return IsAlpha(c) || IsDigit(c);
}
char ToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsUnreserved(char c) {
  return IsAlnum(c) || std::string_view("$-_.+!*'(),").find(c) != std::string_view::npos;
}

bool IsSchemeChar(char c) {
  return IsAlnum(c) || c == '+' || c == '-' || c == '.';
}
bool IsHostChar(char c) {
  return IsAlnum(c) || c == '.' || c == '-';
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = ToLower(c);
  return lower;
}

// A dotted-decimal address: digits and single dots, no dot at either end. The number of parts
// and their values are left to the resolver.
bool IsNumericHost(std::string_view host) {
  char previous = '.';
  for (char c : host) {
    if (c == '.' ? previous == '.' : !IsDigit(c)) return false;
    previous = c;
  }
  return previous != '.';
}

// Labels of letters, digits and inner hyphens, joined by single dots.
bool IsDomainName(std::string_view host) {
  if (!IsAlnum(host.front()) || !IsAlnum(host.back())) return false;
  for (size_t i = 1; i < host.size(); ++i) {
    const char c = host[i];
    const char previous = host[i - 1];
    if (c == '-' && !(IsAlnum(previous) || previous == '-')) return false;
    if (c == '.' && !IsAlnum(previous)) return false;
  }
  return true;
}

// An empty host is valid (file:///c:/x); otherwise the first byte of the last label tells a
// domain name from a numeric address, so "123.com" is a name and "10.0.0.1" an address.
bool IsValidHost(std::string_view host) {
  if (host.empty()) return true;
  const size_t last_dot = host.rfind('.');
  const size_t label = last_dot == std::string_view::npos ? 0 : last_dot + 1;
  if (label >= host.size()) return false;
  if (IsAlpha(host[label])) return IsDomainName(host);
  if (IsDigit(host[label])) return IsNumericHost(host);
  return false;
}

// Appends one byte of an http path, query or fragment, escaping all but the characters that
// may stand as they are. The input was decoded already, so a "%" here stood for "%25" and is
// written back as one: keeping it would decode the URL a second time.
void AppendEscaped(std::string& out, char c, bool keep_hash) {
  if (IsUnreserved(c) || c == ';' || c == ':' || c == '@' || c == '&' || c == '=' ||
      (keep_hash && c == '#')) {
    out.push_back(c);
    return;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  const auto byte = static_cast<unsigned char>(c);
  out.push_back('%');
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0x0F]);
}

int32_t EscapePart(std::string_view part, bool keep_hash, std::optional<std::string>& out) {
  std::string escaped;
  escaped.reserve(part.size());
  for (char c : part) AppendEscaped(escaped, c, keep_hash);
  if (escaped.size() > kUrlPartLimit) return kUrlPartTooLong;
  out = std::move(escaped);
  return kUrlParsed;
}

}  // namespace

int32_t CUrl::SchemeId(std::string_view lower_name) {
  for (const NamedId& scheme : kSchemes) {
    if (scheme.name == lower_name) return scheme.id;
  }
  return kSchemeUnknown;
}

uint16_t CUrl::DefaultPort(int32_t scheme) {
  if (scheme == kSchemeHttp) return 80;
  if (scheme == kSchemeHttps) return 443;
  return 0;
}

int32_t CUrl::FileTypeOf(std::string_view lower_extension) {
  for (const NamedId& extension : kExtensions) {
    if (extension.name == lower_extension) return extension.id;
  }
  return kFileTypeOther;
}

std::optional<std::string> CUrl::UnescapeUrl(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded.push_back(text[i]);
      continue;
    }
    const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    decoded.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return decoded;
}

bool CUrl::EscapesWellFormed(std::string_view text) {
  for (size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i + 3)) {
    if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0) {
      return false;
    }
  }
  return true;
}

void CUrl::BackslashToSlash(std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xEF)) {
      ++i;  // the trail byte may be 0x5C and is part of the character
    } else if (text[i] == '\\') {
      text[i] = '/';
    }
  }
}

bool CUrl::Parse(std::string_view text) {
  int32_t error;
  try {
    error = Run(text);
  } catch (const std::bad_alloc&) {
    error = kUrlOutOfMemory;
  }
  if (error != kUrlParsed) Release();
  error_ = error;
  return error == kUrlParsed;
}

void CUrl::Release() {
  text_.clear();
  scheme_ = kSchemeUnknown;
  file_type_ = kFileTypeOther;
  host_.reset();
  port_.reset();
  path_.clear();
  query_.reset();
  fragment_.reset();
  directory_.clear();
  file_name_.reset();
  extension_.reset();
  site_end_ = directory_url_end_ = path_end_ = target_end_ = 0;
  segment_starts_.clear();
}

void CUrl::SegmentStarts::push_back(std::size_t start) {
  if (size_ < kInline) {
    inline_[size_] = start;
  } else {
    more_.push_back(start);
  }
  ++size_;
}

void CUrl::SegmentStarts::pop_back() {
  if (size_ > kInline) more_.pop_back();
  --size_;
}

int32_t CUrl::Run(std::string_view input) {
  // The decoded working copy (the text itself when it has no escape and is not this record's
  // own); text_ receives the rebuilt URL at the end.
  std::string work;
  std::string_view s = input;
  const std::less<const char*> before;
  const bool own = !text_.empty() && !before(input.data(), text_.data()) &&
                   before(input.data(), text_.data() + text_.size());
  if (own || input.find('%') != std::string_view::npos) {
    std::optional<std::string> decoded = UnescapeUrl(input);
    if (!decoded) {
      Release();
      return kUrlMalformed;
    }
    work = std::move(*decoded);
    s = work;
  }
  Release();

  size_t pos = 0;
  while (pos < s.size() && s[pos] != ':') {
    if (!IsSchemeChar(s[pos])) return kUrlMalformed;
    ++pos;
  }
  if (pos == s.size()) return kUrlMalformed;
  scheme_ = SchemeId(LowerCase(s.substr(0, pos)));
  if (scheme_ != kSchemeHttp && scheme_ != kSchemeHttps && scheme_ != kSchemeFile) {
    return kUrlSchemeNotSupported;
  }
  ++pos;

  if (s.substr(pos, 2) != "//") return kUrlMalformed;
  pos += 2;
  const size_t host_start = pos;
  while (pos < s.size() && s[pos] != '/' && s[pos] != ':') {
    if (!IsHostChar(s[pos])) return kUrlMalformed;
    ++pos;
  }
  const std::string_view host = s.substr(host_start, pos - host_start);
  if (!IsValidHost(host)) return kUrlMalformed;
  if (!host.empty()) host_.emplace(host);

  int32_t result;
  if (IsWeb()) {
    if (pos < s.size() && s[pos] == ':') {
      const size_t port_start = ++pos;
      while (pos < s.size() && s[pos] != '/') {
        if (!IsDigit(s[pos])) return kUrlMalformed;
        ++pos;
      }
      port_.emplace(s.substr(port_start, pos - port_start));
    }
    // "http://host" names the root, as "http://host/" does.
    if (pos == s.size()) {
      result = ParseHttpPath("/", 0);
    } else {
      result = ParseHttpPath(s, pos);
    }
  } else {
    if (pos == s.size() || s[pos] != '/') return kUrlMalformed;
    result = ParseFilePath(s, pos);
  }
  if (result != kUrlParsed) return result;
  AssemblePath();
  Rebuild();
  return kUrlParsed;
}

// Escapes each segment into path_ and folds it at once, so a doubled slash folds into one.
int32_t CUrl::ParseHttpPath(std::string_view s, size_t pos) {
  while (pos < s.size() && s[pos] == '/') {
    size_t end = FindAnyOf<'/', '?', '#'>(s, pos + 1);
    if (end == std::string_view::npos) end = s.size();
    const size_t start = path_.size();
    path_.push_back('/');
    for (size_t i = pos + 1; i < end; ++i) AppendEscaped(path_, s[i], false);
    const bool doubled_slash = end < s.size() && s[end] == '/';
    if (const int32_t error = FoldSegment(start, doubled_slash, true)) return error;
    pos = end;
  }
  if (pos < s.size() && s[pos] == '?') return EscapePart(s.substr(pos + 1), true, query_);
  if (pos < s.size() && s[pos] == '#') return EscapePart(s.substr(pos + 1), false, fragment_);
  return kUrlParsed;
}

// A local path is taken as it stands: bytes that an http path would escape are refused, a "?"
// is part of the name, and "/.." at the top is ignored as a file system does.
int32_t CUrl::ParseFilePath(std::string_view s, size_t pos) {
  while (pos < s.size()) {
    size_t end = s.find('/', pos + 1);
    if (end == std::string_view::npos) end = s.size();
    const size_t start = path_.size();
    path_.push_back('/');
    for (size_t i = pos + 1; i < end; ++i) {
      const char c = s[i];
      if (c == '%') {
        path_.append("%25");  // stood for "%25" before decoding; see AppendEscaped
      } else if (IsUnreserved(c) || c == '?' || c == ':' || c == '@' || c == '&' || c == '=') {
        path_.push_back(c);
      } else {
        return kUrlMalformed;
      }
    }
    if (const int32_t error = FoldSegment(start, false, false)) return error;
    pos = end;
  }
  return kUrlParsed;
}

// Folds the segment that starts at `start` (its "/") and runs to the end of path_ into the
// segment list. `drop_empty` drops an empty segment (a doubled slash); `climb_fails` makes
// "/.." at the top an error instead of a no-op.
int32_t CUrl::FoldSegment(size_t start, bool drop_empty, bool climb_fails) {
  const std::string_view segment = std::string_view(path_).substr(start);
  if (segment.size() > kUrlPartLimit) return kUrlPartTooLong;
  if (segment == "/." || (drop_empty && segment == "/")) {
    path_.resize(start);
  } else if (segment == "/..") {
    if (segment_starts_.empty()) {
      if (climb_fails) return kUrlAboveRoot;
      path_.resize(start);
    } else {
      path_.resize(segment_starts_.back());
      segment_starts_.pop_back();
    }
  } else {
    segment_starts_.push_back(start);
  }
  return kUrlParsed;
}

void CUrl::AssemblePath() {
  if (segment_starts_.empty()) {
    // Everything folded away: the root, whose last segment is empty like that of any path
    // that ends in "/".
    path_.clear();
    path_.push_back('/');
    file_type_ = kFileTypeNone;
    return;
  }
  const size_t last = segment_starts_.back();
  directory_.assign(path_, 0, last);
  const std::string_view segment = std::string_view(path_).substr(last + 1);
  if (!segment.empty()) file_name_.emplace(segment);
  const size_t dot = segment.rfind('.');
  if (dot == std::string_view::npos) {
    file_type_ = kFileTypeNone;
  } else {
    extension_ = LowerCase(segment.substr(dot + 1));
    file_type_ = FileTypeOf(*extension_);
  }
}

void CUrl::Rebuild() {
  text_.reserve(8 + (host_ ? host_->size() : 0) + (port_ ? port_->size() + 1 : 0) + path_.size() +
                (query_ ? query_->size() + 1 : 0) + (fragment_ ? fragment_->size() + 1 : 0));
  text_ = scheme_ == kSchemeHttp ? "http://" : scheme_ == kSchemeHttps ? "https://" : "file://";
  if (host_) text_ += *host_;
  if (port_) {
    text_ += ':';
    text_ += *port_;
  }
  site_end_ = text_.size();
  // The directory is a beginning of the path, so its URL is a beginning of text_.
  if (segment_starts_.empty()) directory_ = text_;
  directory_url_end_ = segment_starts_.empty() ? site_end_ : site_end_ + directory_.size();
  text_ += path_;
  path_end_ = text_.size();
  if (query_) {
    text_ += '?';
    text_ += *query_;
  }
  target_end_ = text_.size();
  if (fragment_) {
    text_ += '#';
    text_ += *fragment_;
  }
  segment_starts_.clear();
}

}  // namespace qlm
