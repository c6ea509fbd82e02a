// Another program for the cross-program window tests: one published window on the platform loop.
//   qlm_window_peer CLASS TITLE
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/EventLoop.h"
#include "platform/Messaging.h"
#include "platform/Window.h"
#include "tests/platform/peer/PeerMessages.h"

namespace qlm::test {
namespace {

class PeerWindow final : public Window {
 protected:
  LResult WindowProc(Message& msg) override {
    switch (msg.message) {
      case kPeerEcho:
        return static_cast<LResult>(msg.wparam) * 1000 + msg.lparam;
      case kPeerPing:
        PostMessage(static_cast<Hwnd>(msg.lparam), kPeerPong, msg.wparam);
        return 0;
      case kPeerExit:
        _exit(3);
      case kPeerDestroySelf:
        Destroy();
        PostQuitMessage(0);
        return 77;
      case WM_CLOSE:
        Destroy();
        PostQuitMessage(0);
        return 0;
      default:
        return 0;
    }
  }
};

int Run(const char* class_name, const char* title) {
  EventLoop loop;
  PeerWindow window;
  if (!window.Create(class_name, title) || !window.Publish()) {
    std::printf("error %d\n", errno);
    return 2;
  }
  std::printf("%llu\n", static_cast<unsigned long long>(window.Handle()));
  std::fflush(stdout);
  return loop.Run();
}

}  // namespace
}  // namespace qlm::test

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qlm_window_peer CLASS TITLE\n");
    return 2;
  }
  return qlm::test::Run(argv[1], argv[2]);
}
