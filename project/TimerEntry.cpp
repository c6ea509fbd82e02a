#include "project/TimerEntry.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace qlm {

namespace {

constexpr std::array<std::string_view, 7> kWeekdayNames = {"Mon", "Tue", "Wed", "Thu",
                                                           "Fri", "Sat", "Sun"};

int16_t Clamp(int16_t value, int16_t low, int16_t high) {
  return std::clamp(value, low, high);
}

// The time part of a line: the start fields or the end fields in the form of the kind.
std::string TimeText(TimerKind kind, bool end, const TimerEntry& e) {
  char buf[64];
  const int day = end ? e.end_day : e.start_day;
  const int weekday = end ? e.end_weekday : e.start_weekday;
  const int hour = end ? e.end_hour : e.start_hour;
  const int minute = end ? e.end_minute : e.start_minute;
  switch (kind) {
    case TimerKind::kMonthly:
      std::snprintf(buf, sizeof buf, "%.2d:%.2d:%.2d", day, hour, minute);
      break;
    case TimerKind::kWeekly:
      std::snprintf(buf, sizeof buf, "%s:%.2d:%.2d",
                    std::string(TimerEntry::WeekdayName(weekday)).c_str(), hour, minute);
      break;
    case TimerKind::kDaily:
      std::snprintf(buf, sizeof buf, "%.2d:%.2d", hour, minute);
      break;
    case TimerKind::kInterval:
      if (end) {
        std::snprintf(buf, sizeof buf, "%d", e.duration);
      } else {
        std::snprintf(buf, sizeof buf, "%d:%d", e.interval_lead, e.interval_period);
      }
      break;
    case TimerKind::kNone:
      buf[0] = '\0';
      break;
  }
  return buf;
}

}  // namespace

void TimerEntry::ForceRanges() {
  start_day = Clamp(start_day, 1, 31);
  start_weekday = Clamp(start_weekday, 0, 6);
  start_hour = Clamp(start_hour, 0, 23);
  start_minute = Clamp(start_minute, 0, 59);
  interval_lead = 0;
  interval_period = Clamp(interval_period, 10, 1440);
  end_day = Clamp(end_day, 1, 31);
  end_weekday = Clamp(end_weekday, 0, 6);
  end_hour = Clamp(end_hour, 0, 23);
  end_minute = Clamp(end_minute, 0, 59);
  duration = Clamp(duration, 1, 1440);
}

std::string TimerEntry::ListLine() const {
  std::string line = file + "|" + folder + "|" + url + "|" + title + "|";
  if (kind == TimerKind::kNone) {
    line += unparsed;
  } else {
    line += KindWord(kind);
    line += '|';
    line += TimeText(kind, false, *this);
    line += start_enabled ? ":1" : ":0";
    line += selected_only ? "|Selected|" : "|Default|";
    line += TimeText(kind, true, *this);
    line += end_enabled ? ":1" : ":0";
  }
  return line + "\r\n";
}

std::string TimerEntry::SettingText() const {
  // The start time as the file has it, with a blank after the day, weekday or lead.
  std::string text = TimeText(kind, false, *this);
  if (kind != TimerKind::kDaily && !text.empty()) text[text.find(':')] = ' ';
  return text;
}

std::string_view TimerEntry::KindWord(TimerKind kind) {
  switch (kind) {
    case TimerKind::kMonthly:
      return "Monthly";
    case TimerKind::kWeekly:
      return "Weekly";
    case TimerKind::kDaily:
      return "Daily";
    case TimerKind::kInterval:
      return "Interval";
    case TimerKind::kNone:
      break;
  }
  return {};
}

std::string_view TimerEntry::WeekdayName(int weekday) {
  return kWeekdayNames[std::clamp(weekday, 0, static_cast<int>(kWeekdayNames.size()) - 1)];
}

}  // namespace qlm
