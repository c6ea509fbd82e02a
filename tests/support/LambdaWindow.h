#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Message.h"
#include "platform/Window.h"

namespace qlm::test {

// A window whose procedure is a function, and which records the number, wParam and lParam of every
// message it received, for tests of code that posts to windows.
class LambdaWindow : public Window {
 public:
  struct Seen {
    unsigned message;
    WParam wparam;
    LParam lparam;
  };
  using Handler = std::function<LResult(Message&)>;

  explicit LambdaWindow(Handler handler = nullptr) : handler_(std::move(handler)) {}
  ~LambdaWindow() override { Destroy(); }

  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  const std::vector<Seen>& Received() const { return received_; }
  // How many messages of this number arrived.
  int Count(unsigned message) const;

 protected:
  LResult WindowProc(Message& msg) override;

 private:
  Handler handler_;
  std::vector<Seen> received_;
};

}  // namespace qlm::test
