#pragma once

#include <cstdint>

namespace qlm {

// One window message between programs: one packet on a published window's socket. The sockets are
// SOCK_SEQPACKET, so a packet arrives whole or not at all and the packets of one connection keep
// their order. Both ends run on the same machine, so the fields travel in host byte order.
struct WindowFrame {
  enum Kind : std::uint32_t {
    kPost = 1,   // queue the message; no answer
    kSend = 2,   // call the handler now; a kReply follows on the same connection
    kReply = 3,  // the result of a kSend, in `lparam`
  };
  std::uint32_t kind = 0;
  std::uint32_t message = 0;
  std::uint64_t hwnd = 0;  // the addressed window (kPost, kSend)
  std::uint64_t wparam = 0;
  std::int64_t lparam = 0;
};
static_assert(sizeof(WindowFrame) == 32, "the frame is the same in every program");

}  // namespace qlm
