#include "picture/display/DisplayPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdlib>

#if QLM_WITH_XCB
#include <xcb/xcb.h>
#endif

namespace qlm {

QSize DisplayPlacement::ScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return QSize(1, 1);
  return screen->geometry().size().expandedTo(QSize(1, 1));
}

QSize DisplayPlacement::ForeignWindowSize(uint64_t window) {
#if QLM_WITH_XCB
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || window == 0 || window > 0xFFFFFFFFu) return QSize();
  xcb_connection_t* connection = x11->connection();
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* reply = xcb_get_geometry_reply(
      connection, xcb_get_geometry(connection, static_cast<xcb_window_t>(window)), &error);
  std::free(error);
  if (reply == nullptr) return QSize();
  const QSize size(reply->width, reply->height);
  std::free(reply);
  return size;
#else
  (void)window;
  return QSize();
#endif
}

bool DisplayPlacement::EmbedIn(QWidget& widget, uint64_t parent) {
  const QSize size = ForeignWindowSize(parent);
  if (size.isEmpty()) return false;
  QWindow* foreign = QWindow::fromWinId(static_cast<WId>(parent));
  if (foreign == nullptr) return false;
  widget.setAttribute(Qt::WA_NativeWindow);
  widget.setWindowFlags(Qt::FramelessWindowHint);
  widget.winId();  // makes the native window, so that it can be given its parent
  widget.windowHandle()->setParent(foreign);
  widget.setGeometry(QRect(QPoint(0, 0), size));

  auto* follow = new QTimer(&widget);
  QObject::connect(follow, &QTimer::timeout, &widget, [&widget, follow, parent] {
    const QSize now = ForeignWindowSize(parent);
    if (now.isEmpty()) {
      follow->stop();
      widget.close();  // the parent is gone, and this window with it
    } else if (now != widget.size()) {
      widget.resize(now);
    }
  });
  follow->start(kParentCheckMs);
  return true;
}

void DisplayPlacement::CoverScreenBelow(QWidget& widget) {
  widget.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
                        Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
  const QScreen* screen = QGuiApplication::primaryScreen();
  widget.setGeometry(screen ? screen->geometry() : QRect(0, 0, 1, 1));
}

}  // namespace qlm
