#pragma once

#include <functional>

#include "picture/display/DisplayCommandLine.h"

class QWidget;

namespace qlm {

class DisplayWidget;
class PictureDisplay;

// What both display programs (QLMSS, QLMSW) do around their window, in the order they do it:
// read the command line, prepare the window for its mode and make it known, run until it closes,
// and end the display.
class DisplayProgram {
 public:
  // The program's arguments and the screen-saver daemon's variable, read before Qt starts, so
  // that arguments that end the program end it even where no display can be opened. A command
  // line that ends the program is reported on stderr under `program`'s name.
  static DisplayCommandLine ReadCommandLine(const char* program, int argc, char** argv);

  // True when the environment names a display (or a Qt platform that needs none, offscreen say).
  // Qt aborts the program when it finds none; the programs check first and tell the user.
  static bool DisplayNamed();
  // DisplayNamed(), reported on stderr under `program`'s name when false.
  static bool CheckDisplay(const char* program);

  // Ties `widget` to `display` (whatever closes the window ends the program), places it for
  // `line` (`place_normal` places the program's own window), creates the display window with its
  // class and title and makes it known to other programs, and turns SIGTERM, SIGINT and SIGHUP
  // into a WM_CLOSE of that window. False, reported under `program`'s name, when the parent
  // window does not exist or the window cannot be made known.
  static bool Prepare(const char* program, const DisplayCommandLine& line, PictureDisplay& display,
                      DisplayWidget& widget, const char* class_name, const char* title,
                      const std::function<void(QWidget&)>& place_normal);

  // Runs the Qt loop until the window has closed; then the running transition stops at its next
  // step, the readers answer, and the window is withdrawn. Returns the loop's exit code.
  static int RunUntilClosed(PictureDisplay& display);
};

}  // namespace qlm
