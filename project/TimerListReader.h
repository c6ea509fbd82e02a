#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "project/TimerEntry.h"

namespace qlm {

// Reads the bytes of a timer list file, one character at a time, into entries.
//
// A line is: File|Folder|URL|Title|Kind|start[:flag]|Selection[|end[:flag]] and CR LF. Spaces and
// tabs around each "|" are skipped; inside the first four fields spaces are kept (a tab ends a
// field). A start or end without ":flag" is enabled; ":0" (or ":" with no digits) disables it. A
// line without the end part has the end disabled. Only "Selected" as the selection word sets the
// selected-only flag.
//
// The first line that breaks these rules ends the reading quietly: what was read before it is
// kept. A line whose project file does not exist is skipped and the reading goes on. Fields are
// kept whole, however long, since a shortened path would name another item.
class TimerListReader {
 public:
  // True when the project file named by a line exists.
  using ExistsFn = std::function<bool(const std::string& path)>;

  explicit TimerListReader(std::string_view bytes, ExistsFn exists = nullptr);

  // Reads every line up to the end or the first broken line.
  std::vector<TimerEntry> ReadAll();

  // A project file counts as existing when it is there and is not a folder.
  static bool ProjectFileExists(const std::string& path);

 private:
  // Reads one line into `entry`; false when it is broken. `complete` tells whether the line ended
  // properly (CR LF or LF), so that reading may go on after it.
  bool ReadLine(TimerEntry& entry, bool& complete);
  bool ReadTime(TimerKind kind, bool end, TimerEntry& entry);
  void ReadEnableFlag(bool& enabled);

  bool AtEnd() const { return pos_ >= bytes_.size(); }
  char Peek() const { return AtEnd() ? '\0' : bytes_[pos_]; }
  // Text up to (not including) any of `stops`, CR or LF, or the end.
  std::string ReadUntil(std::string_view stops);
  void SkipBlanks();
  // Skips blanks, takes `c`, skips blanks again; false when `c` is not there.
  bool ExpectSeparator(char c);
  bool Expect(char c);
  // A run of decimal digits, 0 when there is none; saturates at the 16-bit maximum.
  int16_t ReadNumber();

  std::string_view bytes_;
  std::size_t pos_ = 0;  // offset of the next unread byte of bytes_
  ExistsFn exists_;
};

}  // namespace qlm
