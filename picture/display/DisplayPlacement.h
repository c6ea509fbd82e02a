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
  // saver dialog's preview, a screen-saver daemon's window). The child takes the parent's size
  // once, at start. False when no such window exists.
  static bool EmbedIn(QWidget& widget, uint64_t parent);

  // Makes `widget` cover the whole screen beneath every other window and ignore input: the
  // stand-in for drawing on the root window itself.
  static void CoverScreenBelow(QWidget& widget);
};

}  // namespace qlm
