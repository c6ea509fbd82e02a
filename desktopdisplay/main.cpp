// QLMDT, the desktop display: while the main program's wallpaper changer is on, the rotation's
// pictures are shown on the desktop, in one window per screen of the desktop type, beneath every
// other window, on every workspace, out of the task bar and the pager and never focused. The main
// program starts it with "--parent PID" and it ends with that process.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QWindow>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "desktopdisplay/DesktopDisplay.h"
#include "picture/ChannelMessages.h"
#include "picture/display/DisplayProgram.h"
#include "picture/display/DisplayWidget.h"
#include "picture/display/PictureComposer.h"
#include "picture/display/PictureDisplay.h"
#include "picture/display/QtMessageLoop.h"
#include "picture/display/TerminationSignals.h"
#include "platform/Messaging.h"

#if QLM_WITH_XCB
#include <xcb/xcb.h>
#endif

namespace {

#if QLM_WITH_XCB
xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}
#endif

// The states a window manager reads before it maps the window: on every workspace, beneath the
// others, in neither the task bar nor the pager.
void MarkAsDesktop(QWidget& widget) {
#if QLM_WITH_XCB
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr) return;
  xcb_connection_t* c = x11->connection();
  const auto window = static_cast<xcb_window_t>(widget.winId());
  const xcb_atom_t states[] = {Atom(c, "_NET_WM_STATE_STICKY"), Atom(c, "_NET_WM_STATE_BELOW"),
                               Atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                               Atom(c, "_NET_WM_STATE_SKIP_PAGER")};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                      4, states);
  const uint32_t all_desktops = 0xFFFFFFFFu;
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, "_NET_WM_DESKTOP"),
                      XCB_ATOM_CARDINAL, 32, 1, &all_desktops);
  xcb_flush(c);
#else
  (void)widget;
#endif
}

// Ends this program with the main program: the kernel sends SIGTERM when the parent goes, and a
// parent gone already before the request is seen at once.
bool FollowParent(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--parent") != 0) continue;
    const long parent = std::strtol(argv[i + 1], nullptr, 10);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    return parent <= 0 || getppid() == parent;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!FollowParent(argc, argv)) return 0;
  if (!qlm::DisplayProgram::CheckDisplay("QLMDT")) return 1;

  QApplication app(argc, argv);
  qlm::QtMessageLoop loop;
  const qlm::PictureComposer composer;  // fitted to each screen, like the slide window
  std::vector<std::unique_ptr<qlm::PictureDisplay>> displays;
  std::vector<std::unique_ptr<qlm::DisplayWidget>> widgets;
  std::vector<qlm::PictureDisplay*> screens;
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->geometry();
    displays.push_back(std::make_unique<qlm::PictureDisplay>(area.size(), composer));
    auto widget = std::make_unique<qlm::DisplayWidget>(displays.back()->Buffers());
    widget->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
    widget->setAttribute(Qt::WA_ShowWithoutActivating);
    widget->setWindowTitle(QString::fromUtf8(qlm::kDesktopDisplayTitle));
    widget->setGeometry(area);
    displays.back()->AttachWidget(widget.get());
    widget->winId();
    // Qt hands the window type to the X server only once the window exists.
    widget->setAttribute(Qt::WA_X11NetWmWindowTypeDesktop);
    MarkAsDesktop(*widget);
    screens.push_back(displays.back().get());
    widgets.push_back(std::move(widget));
  }

  qlm::DesktopDisplay desktop(screens);
  if (!desktop.Create(qlm::kDesktopDisplayClass, qlm::kDesktopDisplayTitle) || !desktop.Publish()) {
    std::fprintf(stderr, "QLMDT: the window cannot be made known to the main program: %s\n",
                 std::strerror(errno));
    return 1;
  }
  qlm::TerminationSignals::Install(
      [hwnd = desktop.Handle()] { qlm::PostMessage(hwnd, qlm::WM_CLOSE); });
  for (auto& widget : widgets) widget->show();
  if (const qlm::Hwnd main = qlm::FindWindow(std::string(), qlm::kMainFrameTitle)) {
    qlm::PostMessage(main, qlm::WM_DESKTOP_APPEARED, 0, static_cast<qlm::LParam>(desktop.Handle()));
  }

  const int exit_code = QApplication::exec();
  desktop.Shutdown();  // the readers answer
  for (auto& widget : widgets) widget->hide();
  for (auto& display : displays) display->Shutdown();
  widgets.clear();
  QCoreApplication::processEvents();  // the windows leave the screen before the release
  const qlm::Hwnd stopped_by = desktop.StoppedBy();
  desktop.Destroy();
  if (stopped_by != 0) qlm::PostMessage(stopped_by, qlm::WM_DESKTOP_RELEASED);
  return exit_code;
}
