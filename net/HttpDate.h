#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace qlm {

// A calendar time as written in an HTTP date header. The year is kept as written: four digits in
// the RFC 1123 and asctime forms, two digits in the RFC 850 form.
struct HttpDate {
  uint16_t year = 0;
  uint16_t month = 0;  // 1-12
  uint16_t day = 0;    // 1-31
  uint16_t hour = 0;   // 0-23
  uint16_t minute = 0;
  uint16_t second = 0;  // 0-60 (a leap second is accepted)

  bool operator==(const HttpDate&) const = default;
};

// Parses one of the three date forms of HTTP/1.0, tried in this order:
//   RFC 1123  "Sun, 06 Nov 1994 08:49:37 GMT"
//   RFC 850   "Sunday, 06-Nov-94 08:49:37 GMT"
//   asctime   "Sun Nov  6 08:49:37 1994"
// The whole text must be the date; trailing blanks are allowed. Names match without regard to
// case. On failure *out is left unchanged.
bool ParseHttpDate(std::string_view text, HttpDate* out);

// Formats a time in UTC as the RFC 1123 form ("%a, %d %b %Y %X GMT" in the C locale), whatever
// the process locale is.
std::string FormatHttpDate(std::time_t when);

}  // namespace qlm
