#pragma once

#include <QIcon>

namespace qlm {

// The program's icon (tray, main frame, picture panel), drawn rather than loaded, so that the
// program needs no files beside its executable.
class AppIcon {
 public:
  static QIcon Make();
};

}  // namespace qlm
