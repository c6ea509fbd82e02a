#pragma once

#include <string>
#include <string_view>

namespace qlm {

// The 15 bytes every Windows executable begins with (the MZ header of the common linkers). A body
// that begins so is never stored in the mirror.
inline constexpr std::string_view kExecutableHeader{
    "\x4D\x5A\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00\xFF\xFF\x00", 15};

// True when the file begins with kExecutableHeader; false also when it cannot be read.
bool StartsLikeExecutable(const std::string& file);

// A URL of file type none or html names a page, whose links are followed (a cgi URL's output is
// one where it is stored as the page variant).
bool IsPageType(int file_type);

// The stored variant of a cgi URL's content: "[3f.html" when the fetched URL is a page (file type
// none or html) or a cgi URL that answered text/html, "[3f.jpg" for a JPEG (by type or
// image/jpeg), "[3f.gif" for a GIF (by type or image/gif), "[3f.others" for anything else.
// `media_type` and `media_subtype` are the reply's CONTENT-TYPE as CHttpHeaders keeps it (the
// subtype upper-cased).
std::string_view CgiVariantFor(int fetched_type, int media_type, std::string_view media_subtype);

}  // namespace qlm
