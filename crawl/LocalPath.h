#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qlm {

class CUrl;

// Suffixes of the stored output of a cgi URL, in the order lookups try them. The fetched content
// decides which one a body gets: a page, a JPEG, a GIF, or anything else.
inline constexpr std::array<std::string_view, 4> kCgiVariants{"[3f.html", "[3f.jpg", "[3f.gif",
                                                              "[3f.others"};
inline constexpr std::string_view kCgiHtmlVariant = "[3f.html";

// Linux limits on a local name: a name component holds at most 255 bytes, a whole path less than
// 4096 (the kernel's PATH_MAX counts the terminating NUL).
inline constexpr std::size_t kMaxNameComponent = 255;
inline constexpr std::size_t kMaxLocalPath = 4095;

// A Shift_JIS double-byte character: a lead byte (0x81-0x9F, 0xE0-0xEF) followed by a trail byte
// (0x40-0x7E, 0x80-0xFC). Only a real pair is passed through as a unit, so that a stray lead byte
// cannot carry a separator, a NUL or a "%" past the escaping.
inline bool IsShiftJisLead(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
}
inline bool IsShiftJisTrail(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
inline bool IsShiftJisPairAt(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && IsShiftJisLead(static_cast<unsigned char>(text[i])) &&
         IsShiftJisTrail(static_cast<unsigned char>(text[i + 1]));
}

// The local file name of a URL in the mirror: mirror root, the owning item's folder path, the
// host (without port), the URL's directory and file name ("index.html" when the path ends in
// "/"), and "[3f" plus the query when there is one. Everything after the mirror root is escaped
// (EscapeLocalName). Nothing when the URL does not parse, has no host, or gives a name that
// Linux cannot hold; for a cgi URL the name must also leave room for its longest stored variant.
// The result always lies below mirror_root: no component of the escaped part is "." or "..".
// mirror_root is used as given, with "/" appended when it lacks one.
std::optional<std::string> LocalPath(std::string_view mirror_root, std::string_view url,
                                     std::string_view folder_path);
// The same for a URL parsed already (nothing when it is not).
std::optional<std::string> LocalPath(std::string_view mirror_root, const CUrl& url,
                                     std::string_view folder_path);
// The same into `local` (its room is reused); false, with `local` empty, where LocalPath gives
// nothing.
bool AssignLocalPath(std::string& local, std::string_view mirror_root, const CUrl& url,
                     std::string_view folder_path);

// The escaping of local names: "%" becomes "[", the characters " * , : ; < > ? | and "\", every
// control byte and DEL become "[" and two lower-case hex digits ("[3a" for ":"); a Shift_JIS pair
// is copied unchanged. A component that is "." or ".." has its dots escaped ("[2e"), so an escaped
// relative name can never climb out of the folder it is put in.
std::string EscapeLocalName(std::string_view relative_name);
// The same appended to `out`; the name's first component starts at the end of `out`.
void AppendLocalName(std::string& out, std::string_view relative_name);

// Whether Linux can hold the path, with `suffix` more bytes appended to its last component: no
// component longer than 255 bytes, at most 4095 bytes in all.
bool LocalNameFits(std::string_view path, std::size_t suffix = 0);

// The relative path from the local name `from` (a file) to the local name `to`: "../" once for
// every "/" in `from` after the longest common beginning that ends in "/", then the rest of `to`
// ("./" before a rest that starts with "/"). Nothing when the two names share no such beginning.
std::optional<std::string> RelativePath(std::string_view from, std::string_view to);

}  // namespace qlm
