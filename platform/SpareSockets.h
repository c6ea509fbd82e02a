#pragma once

#include <cstddef>

namespace qlm {

// TCP sockets made ahead (MadeAhead), for WsSocket to hand out.
//
// Making a socket costs the kernel several microseconds (the socket, its file and descriptor, and
// their accounting); a client that opens a connection per file spends a good part of its thread on
// that. While a Keeper lives, kKept unconnected sockets (non-blocking, close on exec) are kept
// ready; when the last Keeper goes, the sockets not taken are closed.
class SpareSockets {
 public:
  static constexpr std::size_t kKept = 32;

  class Keeper {
   public:
    Keeper();
    ~Keeper();
    Keeper(const Keeper&) = delete;
    Keeper& operator=(const Keeper&) = delete;
  };

  // A ready socket, now the caller's, or -1 when none waits (the caller makes its own then).
  static int Take();
  // Sockets ready now, for tests.
  static std::size_t Ready();
};

}  // namespace qlm
