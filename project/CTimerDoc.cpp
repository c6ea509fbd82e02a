#include "project/CTimerDoc.h"

#include <algorithm>
#include <set>

#include "project/ListFile.h"
#include "project/TimerListReader.h"

namespace qlm {

namespace {

// The minute of its period that a moment falls on, in the scale of the kind: Monthly counts from
// the day of the month, Weekly from the weekday, Daily from midnight.
int PeriodValue(TimerKind kind, int day, int weekday, int hour, int minute) {
  const int days = kind == TimerKind::kMonthly ? day : kind == TimerKind::kWeekly ? weekday : 0;
  return days * 1440 + hour * 60 + minute;
}

int CurrentValue(TimerKind kind, const LocalTime& t) {
  return PeriodValue(kind, t.day, t.weekday, t.hour, t.minute);
}

int StartValue(const TimerEntry& e) {
  return PeriodValue(e.kind, e.start_day, e.start_weekday, e.start_hour, e.start_minute);
}

int EndValue(const TimerEntry& e) {
  return PeriodValue(e.kind, e.end_day, e.end_weekday, e.end_hour, e.end_minute);
}

// Strictly between start and end, wrapping round the period when the end comes first; a window
// whose start equals its end is empty.
bool InsideWindow(int start, int end, int current) {
  if (start < end) return start < current && current < end;
  if (start > end) return current > start || current < end;
  return false;
}

bool IsCalendarKind(TimerKind kind) {
  return kind == TimerKind::kMonthly || kind == TimerKind::kWeekly || kind == TimerKind::kDaily;
}

// Seconds into the current interval period, counted from the reference; -1 for a period that is
// not positive (such a timer never fires instead of dividing by zero).
std::int64_t IntervalPhase(const TimerEntry& e, std::int64_t now, std::int64_t reference) {
  const std::int64_t period = std::int64_t{e.interval_period} * 60;
  if (period <= 0) return -1;
  const std::int64_t phase = (now - reference) % period;
  return phase < 0 ? phase + period : phase;
}

}  // namespace

std::string CTimerDoc::ListPath(const std::string& install_folder) {
  std::string path = install_folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + std::string(kListFileName);
}

bool CTimerDoc::Load(const std::string& install_folder) {
  entries_.clear();
  std::string bytes;
  if (!ReadOrCreateListFile(ListPath(install_folder), bytes) && bytes.empty()) return false;
  for (TimerEntry& entry : TimerListReader(bytes).ReadAll()) {
    entries_.push_back(std::make_unique<TimerEntry>(std::move(entry)));
  }
  return true;
}

bool CTimerDoc::Save(const std::string& install_folder) const {
  std::string bytes;
  for (const auto& entry : entries_) bytes += entry->ListLine();
  return ReplaceListFile(ListPath(install_folder), bytes);
}

TimerEntry* CTimerDoc::Find(std::string_view file, std::string_view folder,
                            std::string_view url) const {
  for (const auto& entry : entries_) {
    if (entry->SameItem(file, folder, url)) return entry.get();
  }
  return nullptr;
}

TimerEntry& CTimerDoc::Add(TimerEntry entry) {
  entries_.push_back(std::make_unique<TimerEntry>(std::move(entry)));
  return *entries_.back();
}

bool CTimerDoc::Remove(const TimerEntry* entry) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [entry](const auto& held) { return held.get() == entry; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

bool CTimerDoc::SetItemTimer(TimerEntry entry, const std::string& install_folder) {
  entry.ForceRanges();
  Remove(Find(entry.file, entry.folder, entry.url));
  if (!entry.start_enabled && !entry.end_enabled) return true;
  Add(std::move(entry));
  return Save(install_folder);
}

void CTimerDoc::Evaluate(std::int64_t now, const LocalTime& local, std::int64_t reference,
                         TimerActions& actions) {
  // Pass 1: the projects whose patrol some timer still covers.
  std::set<std::string> keep_running;
  for (const auto& held : entries_) {
    const TimerEntry& e = *held;
    bool covers = false;
    if (IsCalendarKind(e.kind)) {
      covers = InsideWindow(StartValue(e), EndValue(e), CurrentValue(e.kind, local));
    } else if (e.kind == TimerKind::kInterval) {
      // Strictly less: at the tick where the duration is used up the timer must let go, or it
      // would keep its own patrol from being stopped.
      covers = IntervalPhase(e, now, reference) >= 60 && e.last_start != 0 &&
               now - e.last_start < std::int64_t{e.duration} * 60;
    }
    if (covers && actions.IsPatrolling(e.file)) keep_running.insert(e.file);
  }

  auto stop = [&](const std::string& file) {
    if (keep_running.count(file) == 0 && actions.IsPatrolling(file)) actions.StopPatrol(file);
  };

  // Pass 2: starts and stops. Indexes, not iterators: an action may open a project, and nothing
  // here should depend on the list staying untouched meanwhile.
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    TimerEntry& e = *entries_[i];
    if (IsCalendarKind(e.kind)) {
      const int current = CurrentValue(e.kind, local);
      if (e.start_enabled && current == StartValue(e)) {
        actions.StartPatrol(e);
      } else if (e.end_enabled && current == EndValue(e)) {
        stop(e.file);
      }
    } else if (e.kind == TimerKind::kInterval) {
      const std::int64_t phase = IntervalPhase(e, now, reference);
      if (phase < 0) continue;
      if (e.start_enabled && phase < 60) {
        e.last_start = now;
        e.stop_done = false;
        actions.StartPatrol(e);
      } else if (e.end_enabled && e.last_start != 0 && !e.stop_done &&
                 now - e.last_start >= std::int64_t{e.duration} * 60) {
        // The first tick at or after the duration stops the patrol once, even when it comes late.
        e.stop_done = true;
        stop(e.file);
      }
    }
  }
}

}  // namespace qlm
