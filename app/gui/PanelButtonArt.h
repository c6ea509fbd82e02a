#pragma once

#include <QIcon>
#include <QSize>

namespace qlm {

// The pictures on the picture panel's six buttons. Each carries its name ("Pickup", "Copy", "WP",
// "Prev", "Next", "OK"), so the panel reads the same whatever the style's fonts; the disabled look
// comes from the icon's own greyed mode.
//
// "Pickup" has two pictures: the usual one keeps the picture on screen in the pick-up folder; the
// other, for a picture that already lies there, shows that the button takes it out again.
class PanelButtonArt {
 public:
  static constexpr QSize kSize{72, 40};

  enum class Face {
    kPickup,
    kPickupKept,  // the current picture lies in the pick-up folder
    kCopy,
    kWallpaper,
    kPrev,
    kNext,
    kOk,
  };

  static QIcon Make(Face face);
};

}  // namespace qlm
