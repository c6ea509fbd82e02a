#include "tests/support/LambdaWindow.h"

#include <algorithm>

namespace qlm::test {

int LambdaWindow::Count(unsigned message) const {
  return static_cast<int>(std::count_if(received_.begin(), received_.end(),
                                        [&](const Seen& s) { return s.message == message; }));
}

LResult LambdaWindow::WindowProc(Message& msg) {
  received_.push_back(Seen{msg.message, msg.wparam, msg.lparam});
  return handler_ ? handler_(msg) : 0;
}

}  // namespace qlm::test
