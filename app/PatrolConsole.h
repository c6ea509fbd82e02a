#pragma once

#include <cstdio>
#include <string>

#include "app/PatrolStatus.h"

namespace qlm {

// The headless patrol's face on a terminal: the status view's six rows and its counters, drawn
// again in place as they change. Without a terminal (a pipe, a file) it prints one plain line per
// finished record instead ("Visited URL", "Failed URL"), so that logs stay readable. Either way
// the run ends with the counter line.
class PatrolConsole {
 public:
  // `width` is the terminal's width in columns (ignored without a terminal); URLs are cut to fit.
  PatrolConsole(std::FILE* out, bool terminal, int width = 80);

  // Prints the finished records of `status` as plain lines (without a terminal).
  void Attach(PatrolStatus& status);
  // Draws the rows and counters when anything changed since the last drawing (terminal only).
  void Draw(const PatrolStatus& status);
  // The last drawing and the counter line.
  void Finish(const PatrolStatus& status);
  // A line of its own (the dial-up line's state, for one), printed above the rows on a terminal;
  // the next Draw draws them anew below it.
  void Note(const std::string& line);

  // The text of one drawing: a header, six rows and two counter lines, each ending in "\n"; URLs
  // cut to `width` columns. `colour` adds the lamps' colours as terminal escapes.
  static std::string Frame(const PatrolStatus& status, int width, bool colour);
  static constexpr int kFrameLines = 9;

  // The terminal's width in columns for a stream, `fallback` when it is not a terminal.
  static int TerminalWidth(std::FILE* stream, int fallback = 80);

 private:
  std::FILE* out_;
  bool terminal_;
  int width_;
  bool drawn_ = false;  // a frame is on the screen, to be drawn over
  uint64_t drawn_generation_ = 0;
};

}  // namespace qlm
