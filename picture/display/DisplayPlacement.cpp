#include "picture/display/DisplayPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace qlm {

QSize DisplayPlacement::ScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return QSize(1, 1);
  return screen->geometry().size().expandedTo(QSize(1, 1));
}

bool DisplayPlacement::EmbedIn(QWidget& widget, uint64_t parent) {
  QWindow* foreign = QWindow::fromWinId(static_cast<WId>(parent));
  // The X server tells the foreign window's size; a window that does not exist has none.
  if (foreign == nullptr || foreign->geometry().isEmpty()) {
    delete foreign;
    return false;
  }
  widget.setAttribute(Qt::WA_NativeWindow);
  widget.setWindowFlags(Qt::FramelessWindowHint);
  widget.winId();  // makes the native window, so that it can be given its parent
  widget.windowHandle()->setParent(foreign);
  widget.setGeometry(QRect(QPoint(0, 0), foreign->geometry().size()));
  return true;
}

void DisplayPlacement::CoverScreenBelow(QWidget& widget) {
  widget.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
                        Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
  const QScreen* screen = QGuiApplication::primaryScreen();
  widget.setGeometry(screen ? screen->geometry() : QRect(0, 0, 1, 1));
}

}  // namespace qlm
