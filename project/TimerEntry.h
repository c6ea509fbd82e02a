#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qlm {

// How a patrol timer repeats. Kind 0 stands for a kind word this program does not know; such a
// timer never fires, and its line is kept as it was read.
enum class TimerKind : int16_t { kNone = 0, kMonthly = 1, kWeekly = 2, kDaily = 3, kInterval = 4 };

// One patrol timer: the item it patrols (a project file, the item's folder path and URL) and when
// its patrols start and stop. File, Folder and URL together identify the item; an item has at most
// one timer. Fields that do not belong to the kind are 0.
struct TimerEntry {
  std::string file;    // full path of the project file
  std::string folder;  // folder path of the item
  std::string url;     // the item's URL for a Record; empty for a Folder
  std::string title;   // kept and shown; the program never sets it
  TimerKind kind = TimerKind::kNone;
  bool start_enabled = false;
  bool end_enabled = false;
  int16_t start_day = 0;        // 1..31 (Monthly)
  int16_t start_weekday = 0;    // 0 Monday .. 6 Sunday (Weekly)
  int16_t start_hour = 0;       // 0..23
  int16_t start_minute = 0;     // 0..59
  int16_t interval_lead = 0;    // always 0; written and read, never used
  int16_t interval_period = 0;  // minutes between starts, 10..1440 (Interval)
  int16_t end_day = 0;          // 1..31 (Monthly)
  int16_t end_weekday = 0;      // 0..6 (Weekly)
  int16_t end_hour = 0;         // 0..23
  int16_t end_minute = 0;       // 0..59
  int16_t duration = 0;         // minutes an Interval patrol may run, 1..1440
  bool selected_only = false;   // the patrol fetches only items marked Selected

  // What follows the Title field on a line of kind 0, without the line end, so that a timer of an
  // unknown kind is written back as it was read. Empty for the known kinds.
  std::string unparsed;

  // Memory only, never saved. Seconds since the epoch when this Interval timer last started a
  // patrol, 0 before its first start; and whether its stop for that start has been looked at.
  std::int64_t last_start = 0;
  bool stop_done = false;

  bool SameItem(std::string_view other_file, std::string_view other_folder,
                std::string_view other_url) const {
    return file == other_file && folder == other_folder && url == other_url;
  }

  // Forces every time field into its range, as the dialogs do when an entry is built from them:
  // days 1..31, weekdays 0..6, hours 0..23, minutes 0..59, interval period 10..1440, duration
  // 1..1440; the interval lead becomes 0.
  void ForceRanges();

  // The line of the timer list file, ending in CR LF.
  std::string ListLine() const;
  // The "Setting" column of the timer list: "DD HH:MM", "Www HH:MM", "HH:MM" or "lead period".
  std::string SettingText() const;

  // "Monthly", "Weekly", "Daily", "Interval"; empty for kind 0.
  static std::string_view KindWord(TimerKind kind);
  // "Mon" .. "Sun" for 0..6. A weekday outside that range is taken as the nearest end of it, so
  // that every line written reads back.
  static std::string_view WeekdayName(int weekday);
};

}  // namespace qlm
