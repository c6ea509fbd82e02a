#pragma once

#include <string>

#include "project/TimerActions.h"
#include "project/TimerEntry.h"

namespace qlm {

// What the main frame asks of the open project windows (the frame's multiple-document area): the
// patrol timers start and stop patrols through them, the closing rule and the shutdown switch ask
// whether a patrol runs, and the list dialogs have every view redrawn.
class ProjectWindows {
 public:
  virtual ~ProjectWindows() = default;

  // A project with exactly this file path is open and patrolling.
  virtual bool IsPatrolling(const std::string& file) const = 0;
  virtual bool AnyPatrolling() const = 0;
  // Opens the project through the application's document opening, or brings its window forward
  // when it is open; false when it cannot be opened.
  virtual bool Activate(const std::string& file) = 0;
  // WM_USER+11 to the active project frame: a patrol of the entry's item.
  virtual void PatrolTimerEntry(const TimerEntry& entry) = 0;
  // "巡回中断" to the active project frame.
  virtual void StopActivePatrol() = 0;
  // Every open project's views are refreshed.
  virtual void RefreshViews() = 0;
};

// The patrol timers' actions carried out through the project windows.
class ProjectTimerActions final : public TimerActions {
 public:
  explicit ProjectTimerActions(ProjectWindows& windows) : windows_(windows) {}

  bool IsPatrolling(const std::string& file) override { return windows_.IsPatrolling(file); }
  void StartPatrol(const TimerEntry& entry) override {
    if (windows_.Activate(entry.file)) windows_.PatrolTimerEntry(entry);
  }
  void StopPatrol(const std::string& file) override {
    if (windows_.Activate(file)) windows_.StopActivePatrol();
  }

 private:
  ProjectWindows& windows_;
};

}  // namespace qlm
