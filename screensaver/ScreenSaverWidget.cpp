#include "screensaver/ScreenSaverWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "picture/ChannelMessages.h"
#include "picture/display/DisplayInput.h"
#include "picture/display/PictureDisplay.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"

namespace qlm {

ScreenSaverWidget::ScreenSaverWidget(PictureDisplay& display, bool full_screen)
    : DisplayWidget(display.Buffers()), display_(display), full_screen_(full_screen) {
  if (full_screen_) {
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
  }
}

void ScreenSaverWidget::End() {
  // The transition stops at its next step; the window closes when its own WM_CLOSE comes round.
  display_.RequestEnd();
  PostMessage(display_.Handle(), WM_CLOSE);
}

void ScreenSaverWidget::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (!full_screen_) return;
  switch (DisplayInput::ScreenSaverButton(event->button())) {
    case DisplayInputAction::kEnd:
      End();
      break;
    case DisplayInputAction::kOpenPanel:
      if (const Hwnd main = display_.MainWindow()) PostMessage(main, WM_OPEN_PICTURE_PANEL);
      break;
    default:
      break;
  }
}

void ScreenSaverWidget::keyPressEvent(QKeyEvent* event) {
  event->accept();
  if (full_screen_ &&
      DisplayInput::ScreenSaverKey(event->key(), event->modifiers()) == DisplayInputAction::kEnd) {
    End();
  }
}

}  // namespace qlm
