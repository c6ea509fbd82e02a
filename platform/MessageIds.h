#pragma once

namespace qlm {

// Message numbers of the platform itself. Each subsystem names its own WM_USER + n messages next to
// the code that receives them.
enum : unsigned {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_TIMER = 0x0113,
  WM_USER = 0x0400,  // 1024: the first number a program may give its own messages
};

// The two 16-bit halves of a 32-bit message value, as the socket and lookup notices pack them.
constexpr unsigned LoWord(long long value) {
  return static_cast<unsigned>(value) & 0xFFFFu;
}
constexpr unsigned HiWord(long long value) {
  return (static_cast<unsigned>(value) >> 16) & 0xFFFFu;
}
constexpr long long MakeLong(unsigned low, unsigned high) {
  return static_cast<long long>(((high & 0xFFFFu) << 16) | (low & 0xFFFFu));
}

}  // namespace qlm
