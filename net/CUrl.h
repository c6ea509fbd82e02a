#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm {

// Why the last CUrl::Parse failed; 0 after success.
enum UrlError : int32_t {
  kUrlParsed = 0,
  kUrlOutOfMemory = -1,
  // Bad character, bad escape, missing "//" or "/", bad host or port.
  kUrlMalformed = -2,
  // Anything but "http", "https" and "file", also an empty scheme.
  kUrlSchemeNotSupported = -3,
  // A path segment, the query or the fragment is longer than kUrlPartLimit after escaping.
  kUrlPartTooLong = -4,
  // A "/.." segment would climb above the root of an http path.
  kUrlAboveRoot = -5,
};

// Scheme ids; every name that is not listed maps to kSchemeUnknown.
enum UrlScheme : int32_t {
  kSchemeUnknown = 0,
  kSchemeFile = 2,
  kSchemeFtp = 3,
  kSchemeGopher = 4,
  kSchemeHttp = 5,
  kSchemeMailto = 6,
  kSchemeNews = 7,
  kSchemeNntp = 8,
  kSchemeProspero = 9,
  kSchemeTelnet = 10,
  kSchemeWais = 11,
  kSchemeHttps = 12,
};

// What the last path segment says about the file it names.
enum UrlFileType : int32_t {
  kFileTypeNone = 0,  // no "." in the last segment, or the path ends in "/"
  kFileTypeCgi = 1,
  kFileTypeGif = 2,
  kFileTypeHtml = 3,   // htm, html, shtm, shtml
  kFileTypeJpeg = 4,   // jpg, jpeg
  kFileTypeOther = 5,  // any other extension, also an empty one ("name.")
};

// Longest escaped path segment (bytes, its leading "/" included), query or fragment (bytes,
// without the "?" or "#") that Parse accepts.
inline constexpr size_t kUrlPartLimit = 1024;

// The one URL record: Parse checks an http, https or file URL, normalises it and splits it into
// parts. An https URL is parsed and rebuilt exactly as an http one; only its scheme and its
// default port (443) differ.
//
// Every string is bytes; Shift_JIS text passes through unchanged (and escaped where a URL part
// needs it). Parts that a URL may lack are std::optional: std::nullopt means the part is absent,
// which differs from present-but-empty (an empty port text in "http://host:/", an empty query in
// "http://host/?"). The record owns every string; accessors hand out const references (and views
// of Text()) that stay valid until the next Parse or the record's end.
//
// After a failed Parse only Error() is meaningful; every other accessor returns the state of a
// new record.
class CUrl {
 public:
  CUrl() = default;

  // Decodes every escape of `text` once, then checks, normalises and splits it; escapes are
  // written again per part, so "%41" comes back as "A" and "%2f" separates path segments.
  // Returns false with Error() < 0 on failure. Never throws.
  bool Parse(std::string_view text);

  // Every "%XY" (hexadecimal digits of either case) decoded to its byte; "+" stays "+".
  // std::nullopt when a "%" is not followed by two hexadecimal digits.
  static std::optional<std::string> UnescapeUrl(std::string_view text);
  // Whether UnescapeUrl would decode `text`: every "%" is followed by two hexadecimal digits.
  static bool EscapesWellFormed(std::string_view text);

  // Turns every "\" into "/" in place, except the second byte of a Shift_JIS double-byte
  // character (lead byte 0x81-0x9F or 0xE0-0xEF), which may be 0x5C itself.
  static void BackslashToSlash(std::string& text);

  // Lookups of the scheme table (exact, on a lower-cased name) and the file-type table (on a
  // lower-cased extension; an empty extension is kFileTypeOther).
  static int32_t SchemeId(std::string_view lower_name);
  static int32_t FileTypeOf(std::string_view lower_extension);
  // The port a URL of the scheme names when it names none: 80 for http, 443 for https, 0 else.
  static uint16_t DefaultPort(int32_t scheme);

  int32_t Error() const { return error_; }
  // The rebuilt full URL: site URL, path, then "?" query and "#" fragment when present.
  const std::string& Text() const { return text_; }
  int32_t Scheme() const { return scheme_; }
  // http or https: a URL that is fetched over the network.
  bool IsWeb() const { return scheme_ == kSchemeHttp || scheme_ == kSchemeHttps; }
  int32_t FileType() const { return file_type_; }
  // As written, case kept; absent when the URL has an empty host ("file:///c:/x").
  const std::optional<std::string>& Host() const { return host_; }
  // Digits as written, never converted; empty when ":" is followed by no digits.
  const std::optional<std::string>& Port() const { return port_; }
  // Normalised and escaped; "/" at least.
  const std::string& Path() const { return path_; }
  // Escaped, without its "?"; a "#" inside it belongs to it.
  const std::optional<std::string>& Query() const { return query_; }
  // Escaped, without its "#".
  const std::optional<std::string>& Fragment() const { return fragment_; }
  // The path without its last segment and with no trailing "/": empty when the path has one
  // segment, the site URL when the path folded to nothing (so DirectoryUrl() is the site URL).
  const std::string& Directory() const { return directory_; }
  std::string_view DirectoryUrl() const { return TextPart(0, directory_url_end_); }
  // "http://", "https://" or "file://", the host, and ":" port when a port text is present.
  std::string_view SiteUrl() const { return TextPart(0, site_end_); }
  // The last segment without its "/"; absent when the path ends in "/".
  const std::optional<std::string>& FileName() const { return file_name_; }
  // Lower-cased text after the last "." of the last segment; absent when it has no ".".
  const std::optional<std::string>& Extension() const { return extension_; }
  std::string_view UrlWithoutQuery() const { return TextPart(0, path_end_); }
  // What goes on the request line: the path, and "?" query when a query is present.
  std::string_view RequestTarget() const { return TextPart(site_end_, target_end_); }

 private:
  // Where each kept path segment starts in path_ (at its "/") while a URL is parsed: a stack,
  // held inside the record for the depths of nearly every URL.
  class SegmentStarts {
   public:
    bool empty() const { return size_ == 0; }
    std::size_t back() const { return size_ <= kInline ? inline_[size_ - 1] : more_.back(); }
    void push_back(std::size_t start);
    void pop_back();
    void clear() {
      size_ = 0;
      more_.clear();
    }

   private:
    static constexpr std::size_t kInline = 16;
    std::array<std::size_t, kInline> inline_{};
    std::vector<std::size_t> more_;  // the starts beyond the first kInline
    std::size_t size_ = 0;
  };

  std::string_view TextPart(std::size_t from, std::size_t to) const {
    return std::string_view(text_).substr(from, to - from);
  }
  int32_t Run(std::string_view input);
  int32_t ParseHttpPath(std::string_view s, size_t pos);
  int32_t ParseFilePath(std::string_view s, size_t pos);
  int32_t FoldSegment(size_t start, bool drop_empty, bool climb_fails);
  void AssemblePath();
  void Rebuild();
  void Release();

  int32_t error_ = kUrlParsed;
  std::string text_;
  int32_t scheme_ = kSchemeUnknown;
  int32_t file_type_ = kFileTypeOther;
  std::optional<std::string> host_;
  std::optional<std::string> port_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
  std::string directory_;
  std::optional<std::string> file_name_;
  std::optional<std::string> extension_;
  // The site URL, directory URL, URL without query and request target are parts of text_: it
  // starts with the site URL, the path follows, then "?" query, then "#" fragment.
  std::size_t site_end_ = 0;
  std::size_t directory_url_end_ = 0;
  std::size_t path_end_ = 0;
  std::size_t target_end_ = 0;
  SegmentStarts segment_starts_;
};

}  // namespace qlm
