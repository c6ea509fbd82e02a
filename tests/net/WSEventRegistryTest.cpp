// The event registry and the hidden window that routes socket and lookup messages through it.
#include <gtest/gtest.h>

#include <vector>

#include "net/WSAEventWindow.h"
#include "net/WSEventRegistry.h"
#include "net/WSMessages.h"
#include "platform/EventLoop.h"
#include "platform/FatalError.h"
#include "platform/Messaging.h"
#include "platform/WinSockErrors.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

class Recorder : public WSEventHandler {
 public:
  void OnWSMessage(Message& msg) override { seen.push_back(msg.message); }
  std::vector<unsigned> seen;
};

TEST(WSAEventWindow, RoutesByHandleAndKindAndIgnoresWhatIsNotRegistered) {
  EventLoop loop;
  test::Watchdog dog(std::chrono::seconds(20), loop.Id());
  WSAEventWindow window;
  ASSERT_TRUE(window.CreateHidden());
  EXPECT_EQ(window.ClassName(), "WSAEventWindow");
  EXPECT_EQ(WSAEventWindow::Current(), window.Handle());
  Recorder socket, lookup;
  auto& registry = WSEventRegistry::Instance();
  registry.Register(500, WSEventRegistry::kSocket, &socket);
  registry.Register(500, WSEventRegistry::kLookup, &lookup);  // same handle, other kind

  const Hwnd hwnd = window.Handle();
  EXPECT_EQ(SendMessage(hwnd, WM_WS_SOCKET_EVENT, 500, FD_READ), 0);
  EXPECT_EQ(SendMessage(hwnd, WM_WS_LOOKUP_DONE, 500), 0);
  EXPECT_EQ(SendMessage(hwnd, WM_USER, 500), 0);  // every lookup message number
  EXPECT_EQ(SendMessage(hwnd, WM_WS_LOOKUP_LAST, 500), 0);
  SendMessage(hwnd, WM_WS_SOCKET_EVENT, 501, FD_READ);  // not registered: ignored
  SendMessage(hwnd, WM_WS_SOCKET_EVENT + 1, 500);       // above the range: default handling
  SendMessage(hwnd, WM_TIMER, 500);                     // below WM_USER: default handling
  EXPECT_EQ(socket.seen, std::vector<unsigned>{WM_WS_SOCKET_EVENT});
  EXPECT_EQ(lookup.seen, (std::vector<unsigned>{WM_WS_LOOKUP_DONE, WM_USER, WM_WS_LOOKUP_LAST}));
  registry.Unregister(500, WSEventRegistry::kSocket);
  registry.Unregister(500, WSEventRegistry::kLookup);
  EXPECT_EQ(registry.Size(), 0u);
}

TEST(WSAEventWindow, OnlyOneHiddenWindowAtATime) {
  EventLoop loop;
  test::Watchdog dog(std::chrono::seconds(20), loop.Id());
  {
    WSAEventWindow first;
    ASSERT_TRUE(first.CreateHidden());
    WSAEventWindow second;
    EXPECT_FALSE(second.CreateHidden());
    EXPECT_EQ(second.Handle(), 0u);
  }
  EXPECT_EQ(WSAEventWindow::Current(), 0u);
  WSAEventWindow again;
  EXPECT_TRUE(again.CreateHidden());
}

TEST(WSEventRegistryDeathTest, RegisteringTwiceIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Recorder a;
  EXPECT_EXIT(
      {
        WSEventRegistry::Instance().Register(7, WSEventRegistry::kSocket, &a);
        WSEventRegistry::Instance().Register(7, WSEventRegistry::kSocket, &a);
      },
      testing::ExitedWithCode(1), "Winsock Classes Fatal Error");
}

TEST(WSEventRegistryDeathTest, ReleasingWhatIsNotRegisteredIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(WSEventRegistry::Instance().Unregister(8, WSEventRegistry::kLookup),
              testing::ExitedWithCode(1), "Winsock Classes Fatal Error");
}

TEST(WSEventRegistryDeathTest, FatalTextsReachTheInstalledReporter) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetFatalErrorReporter([](const std::string& title, const std::string& text) {
          std::fprintf(stderr, "[%s] %s\n", title.c_str(),
                       text == kWSReleaseFailedText ? "release" : "other");
        });
        WSEventRegistry::Instance().Unregister(9, WSEventRegistry::kSocket);
      },
      testing::ExitedWithCode(1), "\\[Winsock Classes Fatal Error\\] release");
}

}  // namespace
}  // namespace qlm
