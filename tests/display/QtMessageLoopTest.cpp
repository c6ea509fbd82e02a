// Windows on the Qt user-interface thread take the platform's posts, sends and timers through
// Qt's own event loop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "picture/display/QtMessageLoop.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/Poller.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using test::Watchdog;

constexpr unsigned kStep = WM_USER + 300;

TEST(QtMessageLoopTest, PostsFromOtherThreadsArriveInOrderAndQuitEndsTheQtLoop) {
  QtMessageLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  std::vector<WParam> got;
  LambdaWindow window([&](Message& msg) {
    if (msg.message == kStep) got.push_back(msg.wparam);
    return 0;
  });
  ASSERT_TRUE(window.Create("QtTestClass", "Qt test"));
  std::thread poster([hwnd = window.Handle(), id = loop.Id()] {
    for (WParam i = 1; i <= 5; ++i) PostMessage(hwnd, kStep, i);
    PostThreadMessage(id, WM_QUIT, 7);
  });
  EXPECT_EQ(QCoreApplication::exec(), 7);
  poster.join();
  EXPECT_EQ(got, (std::vector<WParam>{1, 2, 3, 4, 5}));
}

TEST(QtMessageLoopTest, SendFromAWorkerThreadIsAnsweredWhileQtRuns) {
  QtMessageLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  LambdaWindow window([](Message& msg) -> LResult {
    if (msg.message == WM_CLOSE) PostQuitMessage(0);
    return msg.message == kStep ? static_cast<LResult>(msg.wparam) * 10 : 0;
  });
  window.Create();
  std::future<LResult> answer = std::async(std::launch::async, [hwnd = window.Handle()] {
    const LResult r = SendMessage(hwnd, kStep, 4);
    PostMessage(hwnd, WM_CLOSE);
    return r;
  });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_EQ(answer.get(), 40);
}

TEST(QtMessageLoopTest, QtWindowAndPlatformWorkerSendToEachOther) {
  // The Qt thread blocks in a send to the worker, whose handler sends back to the Qt window.
  QtMessageLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  LambdaWindow ui_window([](Message& msg) -> LResult {
    return msg.message == kStep ? 1000 + static_cast<LResult>(msg.wparam) : 0;
  });
  ui_window.Create();
  std::promise<Hwnd> worker_window;
  std::promise<ThreadId> worker_id;
  std::thread worker([&, ui_hwnd = ui_window.Handle()] {
    EventLoop worker_loop;
    LambdaWindow window([ui_hwnd](Message& msg) -> LResult {
      return msg.message == kStep ? SendMessage(ui_hwnd, kStep, msg.wparam) + 1 : 0;
    });
    window.Create();
    worker_id.set_value(worker_loop.Id());
    worker_window.set_value(window.Handle());
    worker_loop.Run();
  });
  const Hwnd target = worker_window.get_future().get();
  EXPECT_EQ(SendMessage(target, kStep, 5), 1006);
  PostThreadMessage(worker_id.get_future().get(), WM_QUIT, 0);
  worker.join();
}

TEST(QtMessageLoopTest, TimersFireOnTheLoopClockOnly) {
  ManualClock clock;
  QtMessageLoop loop(clock);
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  LambdaWindow window;
  window.Create();
  SetTimer(window.Handle(), 3, 1000);
  clock.Advance(999);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.Count(WM_TIMER), 0);
  clock.Advance(1);  // wakes the loop through its clock listener
  QCoreApplication::processEvents();
  EXPECT_EQ(window.Count(WM_TIMER), 1);
  KillTimer(window.Handle(), 3);
  clock.Advance(5000);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.Count(WM_TIMER), 1);
}

TEST(QtMessageLoopTest, RealTimerArmsAQtTimerThatEndsTheWait) {
  QtMessageLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  LambdaWindow window([](Message& msg) -> LResult {
    if (msg.message == WM_TIMER) PostQuitMessage(static_cast<int>(msg.wparam));
    return 0;
  });
  window.Create();
  SetTimer(window.Handle(), 12, 20);
  EXPECT_EQ(QCoreApplication::exec(), 12);
}

TEST(QtMessageLoopTest, DescriptorsWatchedOnTheLoopPollerAreReportedWhileQtRuns) {
  QtMessageLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  ASSERT_NE(loop.GetPoller(), nullptr);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  struct Reader final : PollListener {
    int fd = -1;
    std::string got;
    void OnPollEvents(std::uint32_t events) override {
      char buf[16];
      const ssize_t n = (events & Poller::kReadable) ? read(fd, buf, sizeof buf) : 0;
      if (n > 0) got.append(buf, static_cast<size_t>(n));
      if (got == "ping") PostQuitMessage(3);
    }
  } reader;
  reader.fd = fds[0];
  ASSERT_TRUE(loop.GetPoller()->Watch(fds[0], Poller::kReadable, &reader));
  std::thread writer([fd = fds[1]] { EXPECT_EQ(write(fd, "ping", 4), 4); });
  EXPECT_EQ(QCoreApplication::exec(), 3);
  writer.join();
  loop.GetPoller()->Unwatch(fds[0]);
  close(fds[0]);
  close(fds[1]);
}

TEST(QtMessageLoopTest, QtEventsAreServedBetweenBatchesOfAFloodOfPosts) {
  QtMessageLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  constexpr int kPosts = 5 * QtMessageLoop::kBatch;
  int delivered = 0;
  int delivered_when_qt_ran = -1;
  LambdaWindow window([&](Message& msg) -> LResult {
    if (msg.message != kStep) return 0;
    if (++delivered == 1) {
      // A paint or a click queued behind the first post.
      QMetaObject::invokeMethod(
          QCoreApplication::instance(), [&] { delivered_when_qt_ran = delivered; },
          Qt::QueuedConnection);
    }
    if (delivered == kPosts) PostQuitMessage(0);
    return 0;
  });
  window.Create();
  for (int i = 0; i < kPosts; ++i) PostMessage(window.Handle(), kStep, i);
  QCoreApplication::exec();
  EXPECT_EQ(delivered, kPosts);
  EXPECT_GT(delivered_when_qt_ran, 0);
  EXPECT_LT(delivered_when_qt_ran, kPosts);
}

}  // namespace
}  // namespace qlm
