#pragma once

#include <string>

#include "project/TimerEntry.h"

namespace qlm {

// How the patrol timers reach the projects. The GUI implements it with its project windows; the
// headless timer runner with its headless patrols. All calls come on the thread that evaluates the
// timers (the user-interface thread).
class TimerActions {
 public:
  virtual ~TimerActions() = default;

  // True when a project with exactly this file path is open and a patrol of it is running.
  virtual bool IsPatrolling(const std::string& file) = 0;

  // Opens the entry's project (or brings its window forward when it is open) and asks it to patrol
  // the entry's item (entry.folder, entry.url) with entry.selected_only. A project that is
  // already patrolling ignores the request; when the project cannot be opened nothing happens.
  virtual void StartPatrol(const TimerEntry& entry) = 0;

  // Brings the project's window forward and stops its patrol, as the stop-patrol command does.
  // Only called for a project that is patrolling.
  virtual void StopPatrol(const std::string& file) = 0;
};

}  // namespace qlm
