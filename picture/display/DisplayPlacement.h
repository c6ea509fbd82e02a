#pragma once

#include <QRect>
#include <QSize>
#include <cstdint>

class QWidget;

namespace qlm {

// Where a display's window goes for the modes every display program shares.
class DisplayPlacement {
 public:
  // The size of the whole primary screen, which both buffers take; 1 x 1 when Qt knows none.
  static QSize ScreenSize();

  // Makes `widget` a child filling the client area of another program's window (the screen
  // saver dialog's preview, a screen-saver daemon's window). The child follows the parent's size,
  // and closes when the parent goes away (X destroys the child with it). False when there is no
  // such window, or no X server to ask.
  static bool EmbedIn(QWidget& widget, uint64_t parent);

  // The size of another program's X window; empty when it does not exist (or there is no X
  // server).
  static QSize ForeignWindowSize(uint64_t window);

  // How often an embedded display looks at its parent's size, in milliseconds.
  static constexpr int kParentCheckMs = 500;

  // Makes `widget` cover the whole screen beneath every other window and ignore input: the
  // stand-in for drawing on the root window itself.
  static void CoverScreenBelow(QWidget& widget);
};

}  // namespace qlm
