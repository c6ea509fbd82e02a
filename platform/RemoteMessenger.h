#pragma once

#include "platform/Message.h"

namespace qlm {

// Messages to windows of other programs, through the sockets their windows publish
// (WindowDirectory). Only wParam and a plain lParam cross; a payload cannot.
//
// Posts from one process to one window keep their order: they share one connection per target,
// kept open between posts. A post waits only when a few hundred earlier posts to the same window
// are still unread: up to a second for room, after which it fails as a full message queue would.
//
// A send opens a connection of its own and blocks until the target's handler has answered or the
// target is gone. A thread with a message loop serves the messages other threads of its own
// process send to it meanwhile. It does not serve messages from other programs while it waits, so
// a handler must not send back across programs to a thread that is sending to it.
class RemoteMessenger {
 public:
  // False when the window is not published (any more) or its program takes no more messages.
  static bool Post(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam);
  // False when the message did not reach the handler or the answer did not come back (the window
  // or its program went away first); `*result` is the handler's result otherwise.
  static bool Send(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam, LResult* result);
};

}  // namespace qlm
