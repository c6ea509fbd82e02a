#pragma once

#include <functional>

#include "platform/Window.h"

namespace qlm {

// The runtime window behind a Qt frame: the handle that other programs and threads post and send
// to, found by its title. Its messages go to the frame's handler on the Qt thread (whose loop is a
// QtMessageLoop), so the frame handles runtime messages and Qt events on one thread.
class FrameWindow final : public Window {
 public:
  using Handler = std::function<LResult(Message&)>;

  explicit FrameWindow(Handler handler) : handler_(std::move(handler)) {}
  ~FrameWindow() override { Destroy(); }

 protected:
  LResult WindowProc(Message& msg) override { return handler_ ? handler_(msg) : 0; }

 private:
  Handler handler_;
};

}  // namespace qlm
