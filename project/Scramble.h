#pragma once

#include <string>
#include <string_view>

namespace qlm {

// Password scrambling: every password stored outside memory (in the project file and in the
// settings file) is kept in this form. It hides a password from a casual look; the key is fixed
// and known, so it is no protection against anyone who wants the password.
//
// Each clear byte b at position i becomes three bytes: c1 = k(3i) + (b & 15), the middle byte,
// and c3 = k(3i + 2) + (b >> 4), where k(j) is byte j mod 10 of "vorpelunix". The middle byte is
// c1 * c3 (mod 256) unless that is a double quote, NUL, CR or LF, which neither a quoted project
// file value nor a settings line can carry; then it is c1. c1 and c3 lie in 0x65..0x87, so they
// are never one of those four bytes either.

// The scrambled text, three times as long as the clear text.
std::string Scramble(std::string_view clear);

// The clear text. The middle byte of each group is not read, so texts scrambled with any middle
// byte unscramble alike. A trailing group of fewer than three bytes (a damaged value) is dropped.
std::string Unscramble(std::string_view scrambled);

}  // namespace qlm
