#pragma once

#include "platform/Message.h"

namespace qlm {

// Tells a running main program that a slide window has appeared (WM_SLIDE_WINDOW_APPEARED with
// the window's handle), so that a slide window started by hand gets pictures too. When no main
// program runs, it finds the slide window itself as it starts. True when the main program was
// found.
bool AnnounceSlideWindow(Hwnd slide_window);

}  // namespace qlm
