// QLMSW, the slide window: a small window above all others that shows the main program's
// pictures while the user works. The main program starts it without arguments and closes it
// with the same menu command; "p HANDLE" or "-window-id ID" show it inside another window.
#include <QApplication>
#include <QTimer>

#include "picture/ChannelMessages.h"
#include "picture/SlideWindowAnnouncement.h"
#include "picture/display/DisplayPlacement.h"
#include "picture/display/DisplayProgram.h"
#include "picture/display/PictureComposer.h"
#include "picture/display/PictureDisplay.h"
#include "picture/display/QtMessageLoop.h"
#include "slidewindow/SlideWindowWidget.h"

namespace {

// At the top left corner, one fifth of the screen each way, frame included where a window
// manager adds one; topmost, resizable, with a title bar but no window menu.
void PlaceSlideWindow(QWidget& widget) {
  widget.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                        Qt::WindowStaysOnTopHint);
  widget.setWindowTitle(QString::fromUtf8(qlm::kSlideWindowTitle));
  const QSize screen = qlm::DisplayPlacement::ScreenSize();
  const QSize outer(screen.width() / 5, screen.height() / 5);
  widget.resize(outer);
  widget.move(0, 0);
  QTimer::singleShot(0, &widget, [&widget, outer] {
    const QSize frame = widget.frameGeometry().size() - widget.size();
    if (frame.width() > 0 || frame.height() > 0) widget.resize(outer - frame);
  });
}

}  // namespace

int main(int argc, char** argv) {
  const qlm::DisplayCommandLine line = qlm::DisplayProgram::ReadCommandLine("QLMSW", argc, argv);
  if (line.mode == qlm::DisplayCommandLine::kEnd) return 2;
  if (!qlm::DisplayProgram::CheckDisplay("QLMSW")) return 1;

  QApplication app(argc, argv);
  qlm::QtMessageLoop loop;
  qlm::PictureComposer composer;  // the slide window always fits pictures to its size
  qlm::PictureDisplay display(qlm::DisplayPlacement::ScreenSize(), composer);
  qlm::SlideWindowWidget widget(display, line.mode == qlm::DisplayCommandLine::kNormal);
  if (!qlm::DisplayProgram::Prepare("QLMSW", line, display, widget, qlm::kSlideWindowClass,
                                    qlm::kSlideWindowTitle, PlaceSlideWindow)) {
    return 1;
  }
  widget.show();
  // Started by hand, the window gets pictures as one the main program started does.
  qlm::AnnounceSlideWindow(display.Handle());
  return qlm::DisplayProgram::RunUntilClosed(display);
}
