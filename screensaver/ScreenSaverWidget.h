#pragma once

#include "picture/display/DisplayWidget.h"

namespace qlm {

class PictureDisplay;

// The screen saver on screen. Full screen, the left and middle buttons and system keys end it,
// the right button asks the main program for its picture panel, and moving the mouse or typing
// does nothing. Embedded (a preview, a daemon's window) it takes no input at all.
class ScreenSaverWidget final : public DisplayWidget {
 public:
  ScreenSaverWidget(PictureDisplay& display, bool full_screen);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void End();

  PictureDisplay& display_;
  const bool full_screen_;
};

}  // namespace qlm
