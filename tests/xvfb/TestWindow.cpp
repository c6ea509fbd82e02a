#include "tests/xvfb/TestWindow.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace qlm::test {

TestWindow::TestWindow(QRect geometry) {
  connection_ = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection_)) return;
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  id_ = xcb_generate_id(connection_);
  const uint32_t values[] = {screen->white_pixel, 1};  // background, override-redirect
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, id_, screen->root,
                    static_cast<int16_t>(geometry.x()), static_cast<int16_t>(geometry.y()),
                    static_cast<uint16_t>(geometry.width()),
                    static_cast<uint16_t>(geometry.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(connection_, id_);
  // A round trip: the window exists on the server before another program is told its id.
  free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

TestWindow::~TestWindow() {
  if (id_ != 0) xcb_destroy_window(connection_, id_);
  if (connection_ != nullptr) {
    xcb_flush(connection_);
    xcb_disconnect(connection_);
  }
}

}  // namespace qlm::test
