#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qlm {

// How a display program (screen saver or slide window) was asked to run.
//
// The first argument, with one leading "-" or "/" removed and compared without regard to case:
// none, "c" or "s" run the normal window (full screen for the screen saver); "p" with a window
// handle (decimal) as the second argument runs inside that window; anything else ends the
// program. The conventions of Linux screen-saver daemons give the same embedded mode: "-window-id
// ID" (decimal or 0x-hex), and the variable XSCREENSAVER_WINDOW when the command line is empty or
// "-root". "-root" without that variable covers the screen beneath all other windows, as a
// drawing on the root window would, and takes no input either.
struct DisplayCommandLine {
  enum Mode {
    kEnd,       // unknown or malformed arguments: end at once (`error` says why)
    kNormal,    // the program's own window
    kEmbedded,  // a child filling the window `parent`
    kRoot,      // the whole screen, below other windows
  };

  Mode mode = kEnd;
  uint64_t parent = 0;  // X11 window id for kEmbedded, else 0
  std::string error;    // for kEnd

  // `args` without the program name. `xscreensaver_window` is the variable's value, or null.
  static DisplayCommandLine Parse(const std::vector<std::string>& args,
                                  const char* xscreensaver_window);
};

}  // namespace qlm
