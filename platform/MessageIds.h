#pragma once

namespace qlm {

// Message numbers of the platform itself. Above WM_USER each layer allocates its numbers in one
// table of its own; a number is used twice only where no window (or thread) receives both:
//   picture/ChannelMessages.h  + 1..5, 7, 8   between the programs: fixed, other processes post
//   them net/WSMessages.h           + 1..6         the socket layer's hidden window
//                              + 9, 10, 60, 61, 0xCCCD (absolute)  the dial-up line manager; + 10
//                              is
//                                             its notice to its owner and requesters
//                              + 29           to the window that asked for a download manager
//                              + 32..34       thread messages of the network worker
//   crawl/CrawlMessages.h      + 16..30, 51, 52  to a patrol's notify window (+ 29 and + 10 are the
//                                             net layer's, under the crawl's names)
//                              + 34..50       to the download manager
//   app/AppMessages.h          + 13, 15, 100..103  the programs' own windows (+ 10 is the net
//                                             layer's notice, as the main frame takes it)
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
