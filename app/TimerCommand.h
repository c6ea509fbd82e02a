#pragma once

#include <cstdio>

namespace qlm {

// QLM --timers [--yes]: the patrol timers without a display. The timer list "QLM.tmf" is read at
// the start; every minute it is evaluated as the main frame evaluates it (while the setting
// TimerValid is on, which is read again at every tick, so that the tray menu's switch of a
// running main program reaches it too). The patrols the timers start run as `QLM --patrol` runs
// them (project lock, auto-dial, picture pick-up, titles), several projects at once on the one
// network worker thread; the timers' stops stop them. One line per start, stop and end goes to
// `out`, each led by the local time. SIGINT or SIGTERM stops every running patrol (their queues
// resume at the next patrol) and ends the program once they have ended; a second one ends it at
// once.
//
// Nothing is asked on the terminal, since nobody may be watching: queue files of an older
// version are converted with --yes and otherwise left alone (that patrol does not start).
class TimerCommand {
 public:
  static constexpr int kExitDone = 0;      // ended by a signal, every patrol stopped
  static constexpr int kExitFailed = 1;    // no timer to run, or the set-up failed
  static constexpr int kExitKilled = 130;  // a second signal

  static int Run(bool assume_yes, std::FILE* out, std::FILE* err);
};

}  // namespace qlm
