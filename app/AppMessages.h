#pragma once

#include "net/WSMessages.h"
#include "platform/MessageIds.h"

namespace qlm {

// The message numbers of the programs' own windows, all in this one table (see
// platform/MessageIds.h for those of every layer). The programs' windows also receive the picture
// channel's messages (WM_USER + 1 to + 8, fixed between the programs) and the crawl layer's, so
// these keep clear of both.
enum AppMessage : unsigned {
  // To the main frame: a notice of the dial-up line manager, whose owner it is (wParam: the state,
  // lParam: the error).
  kMsgDialupState = WM_RAS_NOTICE,
  // To the main frame: a project's patrol has ended.
  kMsgPatrolFinished = WM_USER + 13,
  // To the download status view: clear the rows and counters, as a new patrol starts. It comes in
  // among the crawl layer's status messages, just below them.
  kMsgStatusReset = WM_USER + 15,
  // To a headless patrol's notify window, posted by Stop(): stop the patrol.
  kMsgStopRequested = WM_USER + 100,
  // To the timer runner's window: stop every patrol and end (posted by the signal watcher), and
  // free the patrols that have ended (posted after a patrol's end).
  kMsgShutdown = WM_USER + 101,
  kMsgReap = WM_USER + 102,
  // To the test clock's window, from the thread that reads the test's commands: move the clock
  // (wParam: milliseconds).
  kMsgAdvance = WM_USER + 103,
};

}  // namespace qlm
