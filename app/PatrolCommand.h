#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "crawl/PatrolRequest.h"

namespace qlm {

// QLM --patrol FILE.prj [--selected | --item "FOLDER PATH" [URL]] and QLM --reset FILE.prj: the
// patrol of a project from a terminal, without a display.
//
// A patrol opens the project as the main program does (settings, project folder and queue files
// in the mirror folder), starts the network worker thread, asks it for a download manager with
// the status view's patrol request, starts it and serves the status messages until the patrol
// has ended. SIGINT or SIGTERM stops it as the stop command does; a second one ends the process
// at once (the queue files stay sound). A patrol that gave an item the title of its page saves
// the project file.
class PatrolCommand {
 public:
  static constexpr int kExitDone = 0;
  static constexpr int kExitFailed = 1;      // the patrol could not run (worker, queues, saving)
  static constexpr int kExitCannotOpen = 2;  // the project (or the named item) cannot be opened
  static constexpr int kExitStopped = 130;   // stopped by a signal, after the manager ended

  struct Options {
    std::string project;
    bool selected_only = false;         // --selected
    std::optional<PatrolItemRef> item;  // --item
    bool assume_yes = false;            // --yes: convert old queue files without asking
    std::string mirror_dir;             // the mirror folder; empty: the MirrorDir setting
  };

  // Runs a patrol; the status goes to `out` (drawn in place when it is a terminal), messages and
  // questions to `err`, answers come from `in`.
  static int Patrol(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err);
  // Empties the project's queues so that the next patrol walks the project anew.
  static int Reset(const std::string& project, bool assume_yes, std::FILE* in, std::FILE* out,
                   std::FILE* err);
};

}  // namespace qlm
