#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qlm {

// The text of the main frame's dial-up pane for a dial-up notice (WM_USER+10: the connection state
// and the error number); nothing when the pane keeps its text.
std::optional<std::string> DialupPaneText(int state, int error);

// "シャットダウンSW": the machine is powered off when a patrol ends, if the user asked for it for
// this run. Off at every start and never saved. The power-off runs `systemctl poweroff`, which
// logind allows the user of the seat without root; when it is refused the reason is kept for the
// frame to show.
class ShutdownSwitch {
 public:
  // Runs a command line to its end; its exit code, with its output in *output (-1: not run).
  using Runner = std::function<int(const std::vector<std::string>& argv, std::string* output)>;

  ShutdownSwitch();
  explicit ShutdownSwitch(Runner runner) : run_(std::move(runner)) {}

  bool On() const { return on_; }
  void Toggle() { on_ = !on_; }

  // A patrol ended: with the switch on and no patrol running, powers the machine off. False when
  // that was refused (Failure() says why); true otherwise, also when nothing was to be done.
  bool PatrolEnded(bool any_patrol_running);
  // Whether a power-off was asked for.
  bool Requested() const { return requested_; }
  const std::string& Failure() const { return failure_; }

  static const std::vector<std::string>& Command();

 private:
  Runner run_;
  bool on_ = false;
  bool requested_ = false;
  std::string failure_;
};

// The main window's placement, kept as "WindowPos" in the section "Settings":
// "flags:show:minx:miny:maxx:maxy:left:top:right:bottom".
struct WindowPlacement {
  static constexpr int kRestoreToMaximized = 2;  // flag: the window was maximized
  static constexpr int kShowNormal = 1;
  static constexpr int kShowMaximized = 3;

  int flags = 0;
  int show = kShowNormal;
  int min_x = -1, min_y = -1, max_x = -1, max_y = -1;
  int left = 0, top = 0, right = 0, bottom = 0;

  std::string Format() const;
  // Nothing unless all ten numbers can be read.
  static std::optional<WindowPlacement> Parse(const std::string& text);
};

}  // namespace qlm
