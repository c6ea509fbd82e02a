#pragma once

#include <sys/types.h>

#include <QImage>
#include <QRect>
#include <functional>
#include <string>

namespace qlm::test {

// A private X server for the whole-program tests: Xvfb on a display number it picks itself, with
// a white root window (so that a black window stands out), exported as DISPLAY to the programs the
// test starts. Killed on destruction.
class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Whether the tools these tests drive are installed: Xvfb, ImageMagick's import, xdotool.
  // Empty when they are, else the first one missing.
  static std::string MissingTool();

  // Starts the server with a screen of this size and sets DISPLAY (and QT_QPA_PLATFORM=xcb) for
  // this process and its children. False when it did not come up.
  bool Start(int width, int height);
  const std::string& Display() const { return display_; }

  // The whole screen as it is now. When QLM_SCREENSHOT_DIR is set, the shot is also kept there
  // as `name`.png (an empty name keeps nothing).
  QImage Shot(const std::string& name = std::string()) const;

 private:
  bool StartOnce(int width, int height);

  pid_t pid_ = -1;
  std::string display_;  // ":N"
};

// Looks at `done` every 50 ms until it holds; false when `limit_ms` passed first.
bool WaitUntil(const std::function<bool()>& done, int limit_ms);

// Runs a shell command with the test's environment; its standard output, or empty when it failed.
std::string RunCommand(const std::string& command);

// xdotool on the test's display.
void MouseMove(int x, int y);
void Click(int x, int y, int button);
void DoubleClick(int x, int y);
void PressKeys(const std::string& keys);
// The X window id of a visible window with exactly this title; 0 when there is none.
unsigned long FindXWindow(const std::string& title);
// A window's position and size on screen; empty when it does not exist.
QRect XWindowGeometry(unsigned long window);

}  // namespace qlm::test
