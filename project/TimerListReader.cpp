#include "project/TimerListReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>

namespace qlm {

namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

TimerKind KindOfWord(std::string_view word) {
  for (TimerKind kind :
       {TimerKind::kMonthly, TimerKind::kWeekly, TimerKind::kDaily, TimerKind::kInterval}) {
    if (word == TimerEntry::KindWord(kind)) return kind;
  }
  return TimerKind::kNone;
}

}  // namespace

TimerListReader::TimerListReader(std::string_view bytes, ExistsFn exists)
    : bytes_(bytes), exists_(exists ? std::move(exists) : ExistsFn(&ProjectFileExists)) {}

bool TimerListReader::ProjectFileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::vector<TimerEntry> TimerListReader::ReadAll() {
  std::vector<TimerEntry> entries;
  while (!AtEnd()) {
    TimerEntry entry;
    bool complete = false;
    if (!ReadLine(entry, complete)) break;
    if (exists_(entry.file)) entries.push_back(std::move(entry));
    if (!complete) break;
  }
  return entries;
}

bool TimerListReader::ReadLine(TimerEntry& entry, bool& complete) {
  std::string* texts[] = {&entry.file, &entry.folder, &entry.url, &entry.title};
  for (std::string* text : texts) {
    *text = ReadUntil("|\t");
    if (!ExpectSeparator('|')) return false;
  }

  const std::size_t kind_start = pos_;
  entry.kind = KindOfWord(ReadUntil("| \t"));
  if (entry.kind == TimerKind::kNone) {
    // Nothing of a line of an unknown kind can be checked; it is carried as it stands.
    pos_ = kind_start;
    entry.unparsed = ReadUntil("");
  } else {
    if (!ExpectSeparator('|')) return false;
    if (!ReadTime(entry.kind, false, entry)) return false;
    ReadEnableFlag(entry.start_enabled);
    if (!ExpectSeparator('|')) return false;
    entry.selected_only = ReadUntil("| \t") == "Selected";
    SkipBlanks();
    if (Peek() == '|') {
      ExpectSeparator('|');
      if (!ReadTime(entry.kind, true, entry)) return false;
      ReadEnableFlag(entry.end_enabled);
    }
  }

  // The entry stands even when its line end is missing or wrong; only what follows is given up.
  SkipBlanks();
  if (Peek() == '\r') ++pos_;
  complete = Expect('\n');
  return true;
}

bool TimerListReader::ReadTime(TimerKind kind, bool end, TimerEntry& entry) {
  int16_t& day = end ? entry.end_day : entry.start_day;
  int16_t& weekday = end ? entry.end_weekday : entry.start_weekday;
  int16_t& hour = end ? entry.end_hour : entry.start_hour;
  int16_t& minute = end ? entry.end_minute : entry.start_minute;
  switch (kind) {
    case TimerKind::kMonthly:
      day = ReadNumber();
      if (!Expect(':')) return false;
      hour = ReadNumber();
      if (!Expect(':')) return false;
      minute = ReadNumber();
      return true;
    case TimerKind::kWeekly: {
      std::string name;
      while (IsAsciiLetter(Peek())) name += bytes_[pos_++];
      int index = 0;
      while (index < 7 && TimerEntry::WeekdayName(index) != name) ++index;
      if (index == 7) return false;
      weekday = static_cast<int16_t>(index);
      if (!Expect(':')) return false;
      hour = ReadNumber();
      if (!Expect(':')) return false;
      minute = ReadNumber();
      return true;
    }
    case TimerKind::kDaily:
      hour = ReadNumber();
      if (!Expect(':')) return false;
      minute = ReadNumber();
      return true;
    case TimerKind::kInterval:
      if (end) {
        entry.duration = ReadNumber();
        return true;
      }
      entry.interval_lead = ReadNumber();
      if (!Expect(':')) return false;
      entry.interval_period = ReadNumber();
      return true;
    case TimerKind::kNone:
      break;
  }
  return false;
}

void TimerListReader::ReadEnableFlag(bool& enabled) {
  enabled = Peek() != ':' || (++pos_, ReadNumber() != 0);
}

std::string TimerListReader::ReadUntil(std::string_view stops) {
  const std::size_t start = pos_;
  while (!AtEnd()) {
    const char c = bytes_[pos_];
    if (c == '\r' || c == '\n' || stops.find(c) != std::string_view::npos) break;
    ++pos_;
  }
  return std::string(bytes_.substr(start, pos_ - start));
}

void TimerListReader::SkipBlanks() {
  while (Peek() == ' ' || Peek() == '\t') ++pos_;
}

bool TimerListReader::ExpectSeparator(char c) {
  SkipBlanks();
  if (!Expect(c)) return false;
  SkipBlanks();
  return true;
}

bool TimerListReader::Expect(char c) {
  if (AtEnd() || bytes_[pos_] != c) return false;
  ++pos_;
  return true;
}

int16_t TimerListReader::ReadNumber() {
  std::int32_t value = 0;
  while (Peek() >= '0' && Peek() <= '9') {
    value = std::min<std::int32_t>(value * 10 + (bytes_[pos_] - '0'), INT16_MAX);
    ++pos_;
  }
  return static_cast<int16_t>(value);
}

}  // namespace qlm
