#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "project/TimerActions.h"
#include "project/TimerEntry.h"
#include "project/WallClock.h"

namespace qlm {

// The list of patrol timers, in order, and its file "QLM.tmf" in the install folder (one line per
// timer, CR LF; see TimerListReader for the reading rules). The application owns one for its whole
// run; it is read and changed on the user-interface thread only.
//
// Entries are held by pointer so that a dialog may keep one while others are added or removed.
class CTimerDoc {
 public:
  static constexpr std::string_view kListFileName = "QLM.tmf";

  // The list file of an install folder; a "/" is put between them when the folder lacks one.
  static std::string ListPath(const std::string& install_folder);

  // Start-up: opens the list file, creating an empty one when there is none (an existing file is
  // left as it is), and replaces the list with what it holds. False when the file can be neither
  // opened nor created; the list is empty then and nothing else is reported.
  bool Load(const std::string& install_folder);
  // Rewrites the whole file from the list, in order. The new contents go to a temporary file that
  // then replaces the old one, so a failed write leaves the old list. False when it failed.
  bool Save(const std::string& install_folder) const;

  const std::vector<std::unique_ptr<TimerEntry>>& Entries() const { return entries_; }
  std::size_t Count() const { return entries_.size(); }

  // The timer of an item (byte-exact match of all three), or nullptr.
  TimerEntry* Find(std::string_view file, std::string_view folder, std::string_view url) const;
  // Appends an entry and returns it.
  TimerEntry& Add(TimerEntry entry);
  // Removes and frees an entry of this list; false when it is not one.
  bool Remove(const TimerEntry* entry);

  // The OK of an item's timer page: forces the entry's fields into their ranges, removes the item's
  // old timer, and when the new one has its start or its end enabled appends it and saves the list
  // (returning whether that worked). A timer with neither enabled only removes the old one from
  // the list in memory; the file keeps it until the next save.
  bool SetItemTimer(TimerEntry entry, const std::string& install_folder);

  // One tick of the patrol timers at `now` (seconds since the epoch) read locally as `local`.
  // Interval periods count from `reference`, the start of the program. First the projects that
  // some timer still covers are collected (the keep-running set), then every timer starts or stops
  // its patrol through `actions`; a stop never reaches a project of the keep-running set.
  void Evaluate(std::int64_t now, const LocalTime& local, std::int64_t reference,
                TimerActions& actions);

 private:
  std::vector<std::unique_ptr<TimerEntry>> entries_;
};

}  // namespace qlm
