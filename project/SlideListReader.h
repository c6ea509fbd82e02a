#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "project/SlideEntry.h"

namespace qlm {

// Reads the bytes of a slide-show list file into entries, one character at a time.
//
// A line is File|Folder|URL|Title|depth|effect|speed|colour|width|height|IMG|interval and CR LF.
// A text field runs up to "|", CR, LF or a tab (spaces inside it are kept); a number is a run of
// decimal digits, none reading as 0, with no sign. After every field spaces and tabs are skipped
// and, except after the last number, "|" must follow, after which spaces and tabs are skipped
// again. The line must end with CR LF.
//
// The first line that breaks these rules ends the reading quietly; the entries read before it
// stay. A line whose project file does not exist is skipped and the reading goes on.
class SlideListReader {
 public:
  // True when the project file named by a line exists.
  using ExistsFn = std::function<bool(const std::string& path)>;

  // Without `exists`, a project file exists when it is there and is not a folder.
  explicit SlideListReader(std::string_view bytes, ExistsFn exists = nullptr);

  std::vector<SlideEntry> ReadAll();

 private:
  // Reads one whole line, its CR LF included; false when it breaks the rules.
  bool ReadLine(SlideEntry& entry);

  bool AtEnd() const { return pos_ >= bytes_.size(); }
  char Peek() const { return AtEnd() ? '\0' : bytes_[pos_]; }
  std::string ReadText();
  // Saturates at the 32-bit maximum.
  int32_t ReadNumber();
  void SkipBlanks();
  bool Expect(char c);

  std::string_view bytes_;
  std::size_t pos_ = 0;  // offset of the next unread byte of bytes_
  ExistsFn exists_;
};

}  // namespace qlm
