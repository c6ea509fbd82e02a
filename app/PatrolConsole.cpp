#include "app/PatrolConsole.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace qlm {

namespace {

// Columns before the URL: row number, bytes, size, percent, lamp.
constexpr int kPrefixColumns = 2 + 11 + 11 + 8 + 3;

void AppendPadded(std::string& line, const std::string& text, int width) {
  const int pad = width - static_cast<int>(text.size());
  if (pad > 0) line.append(static_cast<size_t>(pad), ' ');
  line.append(text);
}

void AppendCut(std::string& line, const std::string& text, int room) {
  if (room <= 0) return;
  if (static_cast<int>(text.size()) <= room) {
    line.append(text);
  } else if (room > 3) {
    line.append(text, 0, static_cast<size_t>(room - 3));
    line.append("...");
  } else {
    line.append(text, 0, static_cast<size_t>(room));
  }
}

void AppendLamp(std::string& line, int value, bool colour) {
  if (!colour) {
    line.append("   ");
    return;
  }
  const uint32_t rgb = PatrolStatus::LampColour(value);
  char escape[48];
  std::snprintf(escape, sizeof escape, " \x1b[38;2;%u;%u;%um\xe2\x97\x8f\x1b[0m ", rgb >> 16,
                (rgb >> 8) & 0xFF, rgb & 0xFF);
  line.append(escape);
}

}  // namespace

PatrolConsole::PatrolConsole(std::FILE* out, bool terminal, int width)
    : out_(out), terminal_(terminal), width_(std::max(width, kPrefixColumns + 10)) {}

int PatrolConsole::TerminalWidth(std::FILE* stream, int fallback) {
  winsize size{};
  if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return fallback;
}

void PatrolConsole::Attach(PatrolStatus& status) {
  if (terminal_) return;
  std::FILE* out = out_;
  status.OnFinished([out](const PatrolStatus::Finished& record) {
    if (record.reason.empty()) {
      std::fprintf(out, "%s %s\n", record.visited ? "Visited" : "Failed", record.url.c_str());
    } else {
      std::fprintf(out, "Failed %s (%s)\n", record.url.c_str(), record.reason.c_str());
    }
  });
}

std::string PatrolConsole::Frame(const PatrolStatus& status, int width, bool colour) {
  std::string text;
  std::string header = "  ";
  AppendPadded(header, "DL SIZE", 11);
  AppendPadded(header, "FILE SIZE", 11);
  AppendPadded(header, "%", 8);
  header.append("   URL");
  text.append(header).push_back('\n');
  for (int r = 0; r < PatrolStatus::kRows; ++r) {
    const PatrolStatus::Row& row = status.GetRow(r);
    std::string line = std::to_string(r + 1) + " ";
    AppendPadded(line, row.bytes, 11);
    AppendPadded(line, row.size, 11);
    AppendPadded(line, row.percent, 8);
    if (r < PatrolStatus::kObjects) {
      AppendLamp(line, row.lamp, colour);
    } else {
      line.append("   ");
    }
    AppendCut(line, row.url, width - kPrefixColumns - 1);
    text.append(line).push_back('\n');
  }
  using S = PatrolStatus;
  std::string progress = "Project progress:";
  for (S::Counter c : {S::kDetected, S::kRetry, S::kVisited, S::kFailed}) {
    progress.append(" ").append(S::CounterName(c)).append(" ");
    progress.append(std::to_string(status.Value(c)));
  }
  std::string localize = "Html localize progress:";
  for (S::Counter c : {S::kLocalize, S::kModified}) {
    localize.append(" ").append(S::CounterName(c)).append(" ");
    localize.append(std::to_string(status.Value(c)));
  }
  if (!status.ModifiedPercent().empty()) localize.append(" (" + status.ModifiedPercent() + "%)");
  // A line longer than the terminal would wrap, and the next drawing would then start too low.
  for (const std::string& line : {progress, localize}) {
    AppendCut(text, line, width - 1);
    text.push_back('\n');
  }
  return text;
}

void PatrolConsole::Draw(const PatrolStatus& status) {
  if (!terminal_) return;
  if (drawn_ && status.Generation() == drawn_generation_) return;
  // The window may have been resized since the last drawing.
  width_ = std::max(TerminalWidth(out_, width_), kPrefixColumns + 10);
  std::string out;
  // Back to the first line of the last drawing; each line is cleared before it is written.
  if (drawn_) out.append("\x1b[" + std::to_string(kFrameLines) + "A");
  const std::string frame = Frame(status, width_, true);
  size_t start = 0;
  while (start < frame.size()) {
    const size_t end = frame.find('\n', start);
    out.append("\r\x1b[2K");
    out.append(frame, start, end - start + 1);
    start = end + 1;
  }
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
  drawn_ = true;
  drawn_generation_ = status.Generation();
}

void PatrolConsole::Note(const std::string& line) {
  std::string out;
  // The rows go (cursor back to their first line, the screen cleared below it) and come back
  // under the note at the next drawing.
  if (terminal_ && drawn_) out.append("\x1b[" + std::to_string(kFrameLines) + "A\r\x1b[J");
  out.append(line).push_back('\n');
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
  drawn_ = false;
}

void PatrolConsole::Finish(const PatrolStatus& status) {
  Draw(status);
  const std::string line = status.CounterLine() + "\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

}  // namespace qlm
