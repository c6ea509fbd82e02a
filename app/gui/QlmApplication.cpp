#include "app/gui/QlmApplication.h"

#include <QApplication>
#include <QMessageBox>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/TimerLock.h"
#include "app/gui/CMainFrame.h"
#include "app/gui/MessageBoxPrompt.h"
#include "app/gui/SplashWindow.h"
#include "app/gui/TrayIcon.h"
#include "picture/ChannelMessages.h"
#include "picture/display/DisplayProgram.h"
#include "picture/display/QtMessageLoop.h"
#include "picture/display/TerminationSignals.h"
#include "platform/NamedMutex.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"

namespace qlm {

int QlmApplication::Run(int argc, char** argv, bool by_screen_saver) {
  // Before anything else, and before a display is needed: a second start ends here.
  NamedMutex instance(kInstanceMutex);
  if (!instance.TryLock()) {
    if (instance.Error() == EWOULDBLOCK) return 0;
    std::fprintf(stderr, "QLM: cannot tell whether QLM runs already: %s\n",
                 std::strerror(instance.Error()));
    return 1;
  }

  if (!DisplayProgram::DisplayNamed()) {
    std::fprintf(stderr,
                 "QLM: there is no display to show the windows on (DISPLAY is not set); "
                 "QLM --help lists what runs without one\n");
    return 1;
  }
  QApplication app(argc, argv);
  // The frame is hidden most of the time; the program ends when the frame closes, not when the
  // last visible window (a picture panel, say) does.
  QApplication::setQuitOnLastWindowClosed(false);
  QtMessageLoop loop;

  AppSettings settings;
  settings.Read();
  // The patrol timers run here, unless a `QLM --timers` started first holds them.
  TimerLock timer_lock;
  if (!timer_lock.Take(TimerLock::Describe(true)) && timer_lock.Error() == EWOULDBLOCK) {
    const std::string text = "QLM: the patrol timers are run by " + TimerLock::HolderText() +
                             "; end it first (the timers run in one program at a time)";
    std::fprintf(stderr, "%s\n", text.c_str());
    QMessageBox::critical(nullptr, QString::fromUtf8(kMainFrameTitle), QString::fromUtf8(text));
    return 1;
  }
  CSSDoc slides;
  // A list that could not be read is not written back over the file at the end.
  const bool slides_loaded = slides.Load(settings.InstallFolder());

  MessageBoxPrompt prompt;
  CMainFrame frame(settings, slides, prompt);
  const bool timers_loaded = frame.Timers().Load(settings.InstallFolder());
  if (!frame.Create()) return 1;
  // Without a notification area the tray icon cannot be seen, and with it the only way to the
  // commands; the frame then shows itself, unless the screen saver is on screen.
  if (!TrayIcon::Available() && !by_screen_saver) frame.ToggleWindow();
  // Last, so that it lies above the frame when the frame shows itself.
  if (!by_screen_saver) (new SplashWindow)->Start();
  // A signal from the session ends the program as the user's close does.
  TerminationSignals::Install([&frame] { frame.CloseProgram(); });

  const int exit_code = QApplication::exec();
  frame.Destroy();
  if (timers_loaded) frame.Timers().Save(settings.InstallFolder());
  // Only a list this program changed is written, so that titles a headless patrol saved while the
  // program ran are not replaced by the copy read at start.
  if (slides_loaded && slides.Modified()) {
    NamedMutex list_lock = CSSDoc::FileLock(settings.InstallFolder());
    list_lock.Lock();
    slides.Save(settings.InstallFolder());
  }
  return exit_code;
}

}  // namespace qlm
