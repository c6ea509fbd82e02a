#pragma once

#include <functional>

namespace qlm {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the Qt thread, so that a display stopped by a
// screen-saver daemon (or a terminal) ends the way a closed window does: transition aborted,
// main program told, locks released. One handler per process; call Install on the Qt thread
// after the application object exists.
class TerminationSignals {
 public:
  // False when the signal pipe cannot be made (the default signal actions then stay).
  static bool Install(std::function<void()> on_signal);
};

}  // namespace qlm
