#include "picture/SlideWindowAnnouncement.h"

#include <string>

#include "picture/ChannelMessages.h"
#include "platform/Messaging.h"

namespace qlm {

bool AnnounceSlideWindow(Hwnd slide_window) {
  const Hwnd main = FindWindow(std::string(), kMainFrameTitle);
  return main != 0 &&
         PostMessage(main, WM_SLIDE_WINDOW_APPEARED, 0, static_cast<LParam>(slide_window));
}

}  // namespace qlm
