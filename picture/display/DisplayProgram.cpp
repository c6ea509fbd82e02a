#include "picture/display/DisplayProgram.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "picture/display/DisplayPlacement.h"
#include "picture/display/DisplayWidget.h"
#include "picture/display/PictureDisplay.h"
#include "picture/display/TerminationSignals.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"

namespace qlm {

bool DisplayProgram::DisplayNamed() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

bool DisplayProgram::CheckDisplay(const char* program) {
  if (DisplayNamed()) return true;
  std::fprintf(stderr, "%s: there is no display to show the window on (DISPLAY is not set)\n",
               program);
  return false;
}

DisplayCommandLine DisplayProgram::ReadCommandLine(const char* program, int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  DisplayCommandLine line = DisplayCommandLine::Parse(args, std::getenv("XSCREENSAVER_WINDOW"));
  if (line.mode == DisplayCommandLine::kEnd)
    std::fprintf(stderr, "%s: %s\n", program, line.error.c_str());
  return line;
}

bool DisplayProgram::Prepare(const char* program, const DisplayCommandLine& line,
                             PictureDisplay& display, DisplayWidget& widget, const char* class_name,
                             const char* title, const std::function<void(QWidget&)>& place_normal) {
  display.AttachWidget(&widget);
  // An embedded window's foreign parent would keep Qt's last-window rule from ending the program.
  widget.SetCloseHandler([&display] {
    display.RequestEnd();
    QCoreApplication::quit();
  });
  switch (line.mode) {
    case DisplayCommandLine::kEmbedded:
      if (!DisplayPlacement::EmbedIn(widget, line.parent)) {
        std::fprintf(stderr, "%s: there is no window %llu to show the pictures in\n", program,
                     static_cast<unsigned long long>(line.parent));
        return false;
      }
      break;
    case DisplayCommandLine::kRoot:
      DisplayPlacement::CoverScreenBelow(widget);
      break;
    default:
      place_normal(widget);
      break;
  }
  if (!display.Open(class_name, title)) {
    std::fprintf(stderr, "%s: the window cannot be made known to the main program: %s\n", program,
                 std::strerror(errno));
    return false;
  }
  TerminationSignals::Install([hwnd = display.Handle()] { PostMessage(hwnd, WM_CLOSE); });
  return true;
}

int DisplayProgram::RunUntilClosed(PictureDisplay& display) {
  const int exit_code = QCoreApplication::exec();
  display.Shutdown();
  display.Destroy();  // no longer found by the main program
  return exit_code;
}

}  // namespace qlm
