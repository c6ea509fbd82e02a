#pragma once

#include "picture/display/DisplayWidget.h"

namespace qlm {

class PictureDisplay;

// The slide window on screen: a double click with the left button asks the main program for its
// picture panel. An embedded slide window (a preview) takes no input.
class SlideWindowWidget final : public DisplayWidget {
 public:
  SlideWindowWidget(PictureDisplay& display, bool takes_input);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  PictureDisplay& display_;
  const bool takes_input_;
};

}  // namespace qlm
