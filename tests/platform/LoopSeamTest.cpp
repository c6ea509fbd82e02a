// A window whose messages are delivered by another event loop (a GUI toolkit's, later) takes the
// same posts, sends and timers as one on the platform loop. The loop below is such a driver: it
// only learns through Wake() that there is work, and delivers with DispatchOne() on its own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/MessageIds.h"
#include "platform/MessageLoop.h"
#include "platform/Messaging.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using test::Watchdog;

constexpr unsigned kStep = WM_USER + 200;

// A foreign loop as a toolkit adapter would write it: Wake() only raises a flag and signals, as a
// queued toolkit event would, and the loop's own thread does the delivering.
class ForeignLoop final : public MessageLoop {
 public:
  explicit ForeignLoop(Clock& clock) : MessageLoop(clock) {}
  ~ForeignLoop() override { Shutdown(); }

  int Wakes() const { return wakes_; }
  // Waits until Wake() has been called at least `count` times in all.
  void WaitForWakes(int count) {
    std::unique_lock lock(mutex_);
    signal_.wait(lock, [&] { return wakes_ >= count; });
  }
  // Delivers what is due and waiting, as the toolkit's event handler for our wake-up would.
  int Pump() {
    QueueDueTimers();
    int n = 0;
    while (DispatchOne()) ++n;
    return n;
  }

 protected:
  void Wake() override {
    std::lock_guard lock(mutex_);
    ++wakes_;
    signal_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable signal_;
  std::atomic<int> wakes_ = 0;
};

TEST(LoopSeam, ForeignLoopIsWokenByPostsFromOtherThreadsAndDeliversThem) {
  ManualClock clock;
  ForeignLoop loop(clock);
  Watchdog dog;
  std::vector<WParam> got;
  LambdaWindow window([&](Message& msg) {
    if (msg.message == kStep) got.push_back(msg.wparam);
    return 0;
  });
  ASSERT_TRUE(window.Create());
  std::thread([hwnd = window.Handle()] {
    PostMessage(hwnd, kStep, 1);
    PostMessage(hwnd, kStep, 2);
  }).join();
  loop.WaitForWakes(2);
  EXPECT_EQ(loop.Pump(), 2);
  EXPECT_EQ(got, (std::vector<WParam>{1, 2}));
}

TEST(LoopSeam, SentMessageGoesAheadOfEarlierPostsAndItsSenderGetsTheAnswer) {
  ManualClock clock;
  ForeignLoop loop(clock);
  Watchdog dog;
  std::vector<WParam> order;
  LambdaWindow window([&](Message& msg) -> LResult {
    order.push_back(msg.wparam);
    return static_cast<LResult>(msg.wparam) * 3;
  });
  window.Create();
  PostMessage(window.Handle(), kStep, 1);
  const int wakes_before = loop.Wakes();
  auto answer = std::async(std::launch::async,
                           [hwnd = window.Handle()] { return SendMessage(hwnd, kStep, 2); });
  loop.WaitForWakes(wakes_before + 1);  // the sent message is queued now
  loop.Pump();
  EXPECT_EQ(answer.get(), 6);
  EXPECT_EQ(order, (std::vector<WParam>{2, 1}));
}

TEST(LoopSeam, TimersOfAForeignLoopWindowWakeItAndFireOnItsClock) {
  ManualClock clock;
  ForeignLoop loop(clock);
  Watchdog dog;
  LambdaWindow window;
  window.Create();
  SetTimer(window.Handle(), 9, 1000);
  EXPECT_EQ(loop.NextTimerDeadline(), 1000);  // what the adapter arms its own timer with
  clock.Advance(999);
  loop.Pump();
  EXPECT_EQ(window.Count(WM_TIMER), 0);
  clock.Advance(1);
  loop.Pump();
  EXPECT_EQ(window.Count(WM_TIMER), 1);
}

TEST(LoopSeam, PlatformLoopAndForeignLoopSendToEachOther) {
  // The foreign loop's thread blocks in SendMessage to the worker, whose handler sends back; the
  // foreign loop serves that while it waits.
  ManualClock clock;
  ForeignLoop ui(clock);
  Watchdog dog;
  LambdaWindow ui_window([](Message& msg) -> LResult {
    return msg.message == kStep ? 1000 + static_cast<LResult>(msg.wparam) : 0;
  });
  ui_window.Create();
  std::promise<Hwnd> worker_window;
  std::promise<ThreadId> worker_id;
  std::thread worker([&, ui_hwnd = ui_window.Handle()] {
    EventLoop loop;
    LambdaWindow window([ui_hwnd](Message& msg) -> LResult {
      return msg.message == kStep ? SendMessage(ui_hwnd, kStep, msg.wparam) + 1 : 0;
    });
    window.Create();
    worker_id.set_value(loop.Id());
    worker_window.set_value(window.Handle());
    loop.Run();
  });
  const Hwnd target = worker_window.get_future().get();
  const ThreadId worker_thread = worker_id.get_future().get();
  EXPECT_EQ(SendMessage(target, kStep, 5), 1006);
  PostThreadMessage(worker_thread, WM_QUIT, 0);
  worker.join();
}

}  // namespace
}  // namespace qlm
