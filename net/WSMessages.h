#pragma once

#include "platform/MessageIds.h"

namespace qlm {

// The message numbers of the net layer, all in this one table: the socket layer's worker thread and
// its hidden window, and the dial-up line manager (CRasMan). A number appears twice only where the
// two go to different windows (see platform/MessageIds.h for the numbers of every layer).
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

  // To the line manager's own window: dial a busy line again, once the pause after its hang-up is
  // over.
  WM_RAS_REDIAL = WM_USER + 9,
  // From the line manager to its owner and to each requester: a notice of the line (wParam: the
  // connection state, lParam: the error). The download manager takes it as kMsgDialResult, the main
  // frame as kMsgDialupState.
  WM_RAS_NOTICE = WM_USER + 10,
  // To the line manager's window: Dial and Release asked on another thread (wParam: the requester).
  WM_RAS_DIAL_REQUEST = WM_USER + 60,
  WM_RAS_RELEASE_REQUEST = WM_USER + 61,
  // From the dial-up back end to the line manager's window: its events ("RasDialEvent"). The fixed
  // number is used, there being no registry of message names here.
  WM_RAS_DIAL_EVENT = 0xCCCD,
};

}  // namespace qlm
