#pragma once

#include "platform/MessageIds.h"

namespace qlm::test {

// What the window peer (a helper program of the platform tests) answers to. It publishes one
// window with the class and title from its command line, prints the window's handle in decimal
// on a line of its own, and runs its loop until WM_CLOSE.
enum PeerMessage : unsigned {
  kPeerEcho = WM_USER + 300,         // sent: returns wParam * 1000 + lParam
  kPeerPing = WM_USER + 301,         // posted: the peer posts kPeerPong with this wParam to lParam
  kPeerPong = WM_USER + 302,         // the peer's answer to kPeerPing
  kPeerExit = WM_USER + 303,         // the peer ends at once, as if killed: nothing is cleaned up
  kPeerDestroySelf = WM_USER + 304,  // sent: the handler destroys the window, ends, returns 77
};

}  // namespace qlm::test
