#include "app/gui/QlmApplication.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMessageBox>
#include <QStatusBar>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/HeadlessDialup.h"
#include "app/HeadlessPatrol.h"
#include "app/HeadlessSession.h"
#include "app/TimerLock.h"
#include "app/gui/CMainFrame.h"
#include "app/gui/MainFrameServices.h"
#include "app/gui/MessageBoxPrompt.h"
#include "app/gui/SplashWindow.h"
#include "app/gui/TrayIcon.h"
#include "app/gui/dialogs/CItemPropertySheet.h"
#include "app/gui/frames/ProjectContext.h"
#include "app/gui/frames/ProjectDocuments.h"
#include "app/gui/views/SjisText.h"
#include "crawl/DLManager.h"
#include "net/CWSThread.h"
#include "net/WSStartup.h"
#include "picture/ChannelMessages.h"
#include "picture/PictureRotation.h"
#include "picture/WallpaperChanger.h"
#include "picture/display/DisplayProgram.h"
#include "picture/display/QtMessageLoop.h"
#include "picture/display/TerminationSignals.h"
#include "platform/Messaging.h"
#include "platform/NamedMutex.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"
#include "project/CTimerDoc.h"

namespace qlm {

namespace {

// The windows and menus speak Japanese: a gothic face that has the kana, half-width ones too.
QFont ProgramFont() {
  QFont font = QApplication::font();
  const QStringList families = QFontDatabase::families();
  for (const char* family : {"IPAGothic", "IPAPGothic", "IPAexGothic"}) {
    if (families.contains(QString::fromLatin1(family))) {
      font.setFamilies({QString::fromLatin1(family)});
      break;
    }
  }
  return font;
}

}  // namespace

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
  QApplication::setFont(ProgramFont());
  // The project named on the command line (what is left after Qt took its own options).
  QString project;
  for (const QString& arg : QCoreApplication::arguments().mid(1)) {
    const bool screen_saver_flag = arg.compare(QStringLiteral("/s"), Qt::CaseInsensitive) == 0;
    if (!arg.startsWith(QLatin1Char('-')) && !screen_saver_flag) project = arg;
  }
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

  // The network worker with the download managers, for the patrols of the project windows.
  WSStartup();
  auto worker = std::make_unique<CWSThread>(loop.GetClock());
  if (!worker->Start()) {
    prompt.ShowMessage("ネットワークのスレッドを開始できません。");
    frame.Destroy();
    return 1;
  }
  DLManager::Install();
  HeadlessServices services;
  services.settings = &settings;
  services.prompt = &prompt;
  services.worker = worker->Id();
  services.pictures = &frame.Pictures();
  services.slide_list = &slides;
  services.display_running = &HeadlessSession::DisplayRunning;
  std::unique_ptr<HeadlessDialup> dialup;
  if (settings.Number(AppNumber::AutoDialup) > 0) {
    dialup = std::make_unique<HeadlessDialup>();
    if (dialup->Create(settings, [&frame](const std::string& text, bool) {
          frame.Services().ShowDialupText(FromSjis(text));
        })) {
      services.dialer = &dialup->Manager();
    }
  }
  ProjectContext context;
  context.settings = &settings;
  context.prompt = &prompt;
  context.slides = &slides;
  context.timers = &frame.Timers();
  context.patrol_ended = [&frame] { frame.Services().OnPatrolEnded(); };
  context.item_properties = [&frame, &slides](CQLMDoc& doc, ProjectItem& item) {
    return ShowItemProperties(&frame, item, doc, frame.Timers(), slides);
  };
  context.services = &services;
  context.slide_window_open = [&frame] {
    return frame.Rotation() && frame.Rotation()->Channel().SlideWindowExists();
  };
  context.screen_saver_open = [] { return FindWindow(kScreenSaverClass, kScreenSaverTitle) != 0; };
  context.wallpaper_changer_on = [&frame] { return frame.Changer() && frame.Changer()->Checked(); };
  ProjectDocuments& projects = frame.AttachProjects(context);
  if (project.isEmpty()) {
    projects.NewProject();
  } else {
    projects.OpenProject(project.toStdString());
  }

  // Without a notification area the tray icon cannot be seen, and with it the only way to the
  // commands; the frame then shows itself. So it does when the user named a project to open.
  // The screen saver, which covers the screen, starts it hidden in any case.
  if ((!TrayIcon::Available() || !project.isEmpty()) && !by_screen_saver) frame.ToggleWindow();
  // Last, so that it lies above the frame when the frame shows itself.
  if (!by_screen_saver) (new SplashWindow)->Start();
  // A signal from the session ends the program as the user's close does.
  TerminationSignals::Install([&frame] { frame.CloseProgram(); });

  const int exit_code = QApplication::exec();
  // The project windows go first: a patrol still running stops, and its manager ends, while the
  // worker is there.
  projects.DestroyAll();
  frame.Destroy();
  if (timers_loaded) frame.Timers().Save(settings.InstallFolder());
  worker->Stop();
  CWSThread::SetManagerFactory(nullptr);
  services.dialer = nullptr;
  dialup.reset();
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
