#pragma once

#include <Qt>

namespace qlm {

// What the input of a display's window asks for. Only the full-screen screen saver and the
// normal slide window react to input; an embedded display reacts to none.
enum class DisplayInputAction {
  kNone,       // moving the mouse, ordinary keys, other buttons
  kEnd,        // end the screen saver
  kOpenPanel,  // ask the main program for its picture panel
};

class DisplayInput {
 public:
  // Screen saver: the left and middle buttons end it, the right one asks for the panel.
  static DisplayInputAction ScreenSaverButton(Qt::MouseButton button);
  // Screen saver: a system key ends it (Alt alone or with any key, F10); ordinary keys do not.
  static DisplayInputAction ScreenSaverKey(int key, Qt::KeyboardModifiers modifiers);
  // Slide window: a double click of the left button asks for the panel.
  static DisplayInputAction SlideWindowDoubleClick(Qt::MouseButton button);
};

}  // namespace qlm
