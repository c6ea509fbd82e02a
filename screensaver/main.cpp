// QLMSS, the screen saver: covers the screen, makes sure the main program runs, registers with it
// and shows the pictures it sends until a click or a system key. "p HANDLE", "-window-id ID",
// "-root" and XSCREENSAVER_WINDOW show it inside another window (or beneath all), without input.
#include <QApplication>
#include <QTimer>

#include "picture/ChannelMessages.h"
#include "picture/display/DisplayCommandLine.h"
#include "picture/display/DisplayPlacement.h"
#include "picture/display/DisplayProgram.h"
#include "picture/display/PictureComposer.h"
#include "picture/display/PictureDisplay.h"
#include "picture/display/QtMessageLoop.h"
#include "picture/display/ScreenSaverSession.h"
#include "platform/Folders.h"
#include "platform/Profile.h"
#include "screensaver/ScreenSaverWidget.h"

namespace {

void PlaceFullScreen(QWidget& widget) {
  widget.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  widget.setWindowTitle(QString::fromUtf8(qlm::kScreenSaverTitle));
  widget.setGeometry(QRect(QPoint(0, 0), qlm::DisplayPlacement::ScreenSize()));
}

}  // namespace

int main(int argc, char** argv) {
  const qlm::DisplayCommandLine line = qlm::DisplayProgram::ReadCommandLine("QLMSS", argc, argv);
  if (line.mode == qlm::DisplayCommandLine::kEnd) return 2;
  if (!qlm::DisplayProgram::CheckDisplay("QLMSS")) return 1;
  const bool full_screen = line.mode == qlm::DisplayCommandLine::kNormal;

  qlm::ScreenSaverSession session(qlm::ExecutableFolder());
  if (!session.TakeSingleInstance()) return 0;  // another screen saver runs
  // Only the full-screen saver starts the main program; a preview waits for one to appear.
  if (full_screen) session.StartMainProgramIfNeeded();

  QApplication app(argc, argv);
  qlm::QtMessageLoop loop;
  qlm::PictureComposer composer;
  composer.SetTile(qlm::ScreenSaverSession::ReadTileSetting(qlm::Profile()) != 0);
  qlm::PictureDisplay display(qlm::DisplayPlacement::ScreenSize(), composer);
  qlm::ScreenSaverWidget widget(display, full_screen);
  if (!qlm::DisplayProgram::Prepare("QLMSS", line, display, widget, qlm::kScreenSaverClass,
                                    qlm::kScreenSaverTitle, PlaceFullScreen)) {
    session.End();
    return 1;
  }
  if (full_screen) {
    widget.showFullScreen();
    widget.activateWindow();
    widget.setFocus();
  } else {
    widget.show();
  }

  // Registration: the main program may still be starting, so it is looked for every 100 ms,
  // 100 times, without holding up the window.
  QTimer registration;
  if (full_screen && !session.TryRegister(display.Handle())) {
    QObject::connect(&registration, &QTimer::timeout, [&] {
      if (session.TryRegister(display.Handle())) registration.stop();
    });
    registration.start(qlm::ScreenSaverSession::kRegisterIntervalMs);
  }

  const int exit_code = qlm::DisplayProgram::RunUntilClosed(display);
  // The window is withdrawn before the main program hears of the end.
  session.End();
  return exit_code;
}
