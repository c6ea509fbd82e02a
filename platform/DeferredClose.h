#pragma once

#include <cstddef>

namespace qlm {

// Closes descriptors on a background thread, a few dozen at a time.
//
// Closing a TCP connection does the connection's tear-down in the calling thread (on loopback
// also the peer's side of it). A client that opens a connection per file spends a good part of
// its thread on that; here the thread that closes only hands the descriptor over. A descriptor
// is closed at most kMaxDelayMs after it was handed over, or at once when kBatch of them wait.
// The caller must be done with the descriptor (no poller watches it any more); its number stays
// taken until it is closed, so it cannot be mistaken for a newer one.
class DeferredClose {
 public:
  static constexpr std::size_t kBatch = 32;
  static constexpr int kMaxDelayMs = 5;

  // Hands `fd` over to be closed.
  static void Close(int fd);
  // Returns once every descriptor handed over before the call is closed.
  static void Flush();
};

}  // namespace qlm
