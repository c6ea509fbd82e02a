#pragma once

#include <QRect>
#include <cstdint>

struct xcb_connection_t;

namespace qlm::test {

// A plain white top-level X window of the test's own, for a display to be shown inside (as a
// screen-saver daemon's window would be). Gone on destruction.
class TestWindow {
 public:
  explicit TestWindow(QRect geometry);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  // 0 when it could not be made.
  uint32_t Id() const { return id_; }

 private:
  xcb_connection_t* connection_ = nullptr;
  uint32_t id_ = 0;
};

}  // namespace qlm::test
