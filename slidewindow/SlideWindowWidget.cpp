#include "slidewindow/SlideWindowWidget.h"

#include <QMouseEvent>

#include "picture/ChannelMessages.h"
#include "picture/display/DisplayInput.h"
#include "picture/display/PictureDisplay.h"
#include "platform/Messaging.h"

namespace qlm {

SlideWindowWidget::SlideWindowWidget(PictureDisplay& display, bool takes_input)
    : DisplayWidget(display.Buffers()), display_(display), takes_input_(takes_input) {
  if (takes_input_) setCursor(Qt::CrossCursor);
}

void SlideWindowWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (takes_input_ &&
      DisplayInput::SlideWindowDoubleClick(event->button()) == DisplayInputAction::kOpenPanel) {
    // Before the first picture no main window is known and the request goes nowhere.
    if (const Hwnd main = display_.MainWindow()) PostMessage(main, WM_OPEN_PICTURE_PANEL);
  }
  event->accept();
}

}  // namespace qlm
