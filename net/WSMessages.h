#pragma once

#include "platform/MessageIds.h"

namespace qlm {

// Messages of the socket layer's worker thread and its hidden window.
enum : unsigned {
  // To the hidden window: a host lookup ended (wParam: the task, lParam high word: the error).
  // The window accepts WM_USER to WM_USER+5 for lookups; this is the one the lookups use.
  WM_WS_LOOKUP_DONE = WM_USER + 1,
  WM_WS_LOOKUP_LAST = WM_USER + 5,
  // To the hidden window: a socket event (wParam: the socket, lParam: FD_* and the error).
  WM_WS_SOCKET_EVENT = WM_USER + 6,
  // Posted by the worker thread to the window that asked for a download manager; the payload is a
  // PayloadValue<Hwnd> holding the manager's window (0 when none could be made).
  WM_WS_MANAGER_CREATED = WM_USER + 0x1D,
  // Thread messages of the worker: make a download manager (payload: a ManagerRequest), and end.
  WM_WS_CREATE_MANAGER = WM_USER + 0x20,
  WM_WS_END_THREAD = WM_USER + 0x21,
  // Posted to the worker thread by a download manager that destroyed its window: the managers
  // that ended are freed (the object cannot free itself from inside its own handler).
  WM_WS_FREE_ENDED = WM_USER + 0x22,
};

}  // namespace qlm
