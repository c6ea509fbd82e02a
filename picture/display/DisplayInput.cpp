#include "picture/display/DisplayInput.h"

namespace qlm {

DisplayInputAction DisplayInput::ScreenSaverButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
    case Qt::MiddleButton:
      return DisplayInputAction::kEnd;
    case Qt::RightButton:
      return DisplayInputAction::kOpenPanel;
    default:
      return DisplayInputAction::kNone;
  }
}

DisplayInputAction DisplayInput::ScreenSaverKey(int key, Qt::KeyboardModifiers modifiers) {
  // The presses that count as system keys: Alt itself, anything with Alt held, and F10. AltGr
  // is not among them: it types ordinary characters on many keyboards.
  if (key == Qt::Key_Alt || key == Qt::Key_F10 || (modifiers & Qt::AltModifier)) {
    return DisplayInputAction::kEnd;
  }
  return DisplayInputAction::kNone;
}

DisplayInputAction DisplayInput::SlideWindowDoubleClick(Qt::MouseButton button) {
  return button == Qt::LeftButton ? DisplayInputAction::kOpenPanel : DisplayInputAction::kNone;
}

}  // namespace qlm
