#pragma once

namespace qlm {

// The process-wide start-up record of the socket layer: whether it was started at program
// start-up and with what error. The worker thread refuses to start without it.
struct WSStartupRecord {
  int error = 0;
  bool started = false;
};

// Called once at program start-up on the main thread. IPv4 TCP sockets need no set-up on this
// platform, so version 1.1 is always available; the record says so.
void WSStartup();
// Called at program exit; returns the clean-up error (0).
int WSCleanup();
const WSStartupRecord& WSStartupState();

// What the program shows when WSCleanup fails: a warning box with this title and the text filled
// in with the error number.
inline constexpr char kWSCleanupErrorTitle[] = "Winsock Error";
inline constexpr char kWSCleanupErrorFormat[] = "Winsock reported error [%d] when shutting down.";

}  // namespace qlm
