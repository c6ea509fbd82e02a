#pragma once

#include <string_view>

namespace qlm {

// The numbers of a reply's status line. The fields are filled as far as the line parses; a line
// that fails before the status code leaves status_code as it was, one that fails inside the code
// keeps the digits read so far ("HTTP/1.0 404\r" gives 404 although the CR stops the parse).
struct HttpStatusLine {
  int version_major = 0;
  int version_minor = 0;
  int status_code = 0;
};

// Parses "HTTP/major.minor code [reason]" (the first token without regard to case, blanks before
// it allowed). Returns true only when every number parsed up to its blank or the end of the line.
// A number longer than nine digits fails the parse, so the fields never overflow.
bool ParseStatusLine(std::string_view line, HttpStatusLine* fields);

// A reply that sends the client to its Location: 301 and 302, and the 303, 307 and 308 of later
// servers, which mean the same to a client that only asks with GET and HEAD.
constexpr bool IsRedirectStatus(int code) {
  return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

}  // namespace qlm
