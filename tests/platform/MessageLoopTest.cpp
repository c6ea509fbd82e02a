// Posting, sending and quitting across threads, and how the platform loop orders its work.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using test::Watchdog;

constexpr unsigned kStep = WM_USER + 100;
constexpr unsigned kStop = WM_USER + 101;

// A payload that counts its own destructions, to see who frees it.
struct Counted : Payload {
  explicit Counted(std::atomic<int>* freed, int v = 0) : freed(freed), value(v) {}
  ~Counted() override { ++*freed; }
  std::atomic<int>* freed;
  int value;
};

// A thread running its own EventLoop with one window; Start returns once the window exists.
class LoopThread {
 public:
  explicit LoopThread(LambdaWindow::Handler handler) : handler_(std::move(handler)) {}
  ~LoopThread() { Stop(); }

  void Start() {
    std::promise<void> ready;
    auto ready_future = ready.get_future();
    thread_ = std::thread([this, &ready] {
      EventLoop loop;
      test::Watchdog dog(std::chrono::seconds(20), loop.Id());
      LambdaWindow window(handler_);
      window.Create();
      hwnd_ = window.Handle();
      id_ = loop.Id();
      ready.set_value();
      loop.Run();
    });
    ready_future.wait();
  }
  void Stop() {
    if (!thread_.joinable()) return;
    PostThreadMessage(id_, WM_QUIT, 0);
    thread_.join();
  }
  Hwnd Window() const { return hwnd_; }
  ThreadId Id() const { return id_; }

 private:
  LambdaWindow::Handler handler_;
  std::thread thread_;
  Hwnd hwnd_ = 0;
  ThreadId id_ = 0;
};

TEST(MessageLoop, PostedMessagesArriveInOrderWithTheirValues) {
  EventLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  LambdaWindow window;
  ASSERT_TRUE(window.Create());
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(PostMessage(window.Handle(), kStep, i, -i));
  EXPECT_EQ(loop.RunPending(), 5);
  ASSERT_EQ(window.Received().size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(window.Received()[i].message, kStep);
    EXPECT_EQ(window.Received()[i].wparam, static_cast<WParam>(i));
    EXPECT_EQ(window.Received()[i].lparam, -i);
  }
}

TEST(MessageLoop, HandlesAreNonZeroUniqueAndDieWithTheWindow) {
  EventLoop loop;
  test::Watchdog dog(std::chrono::seconds(20), loop.Id());
  std::set<Hwnd> seen;
  for (int i = 0; i < 100; ++i) {
    LambdaWindow window;
    ASSERT_TRUE(window.Create("Class", "Title"));
    EXPECT_NE(window.Handle(), 0u);
    EXPECT_TRUE(seen.insert(window.Handle()).second) << "handle reused";
    EXPECT_TRUE(IsWindow(window.Handle()));
    EXPECT_EQ(window.ClassName(), "Class");
    EXPECT_FALSE(window.Create()) << "created twice";
  }
  for (Hwnd hwnd : seen) EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(0));
}

TEST(MessageLoop, WindowNeedsALoopOnItsThread) {
  std::thread([] {
    LambdaWindow window;
    EXPECT_FALSE(window.Create());
    EXPECT_EQ(window.Handle(), 0u);
  }).join();
}

TEST(MessageLoop, DestroyDeliversWmDestroyThenDropsWhatWasOnItsWay) {
  EventLoop loop;
  test::Watchdog dog(std::chrono::seconds(20), loop.Id());
  std::atomic<int> freed = 0;
  LambdaWindow window;
  window.Create();
  const Hwnd hwnd = window.Handle();
  PostMessage(hwnd, kStep, 0, 0, std::make_unique<Counted>(&freed));
  window.Destroy();
  ASSERT_EQ(window.Received().size(), 1u);
  EXPECT_EQ(window.Received()[0].message, WM_DESTROY);
  loop.RunPending();
  EXPECT_EQ(window.Received().size(), 1u);
  EXPECT_EQ(freed, 1) << "payload of an undeliverable message is freed";
  EXPECT_FALSE(PostMessage(hwnd, kStep));
}

TEST(MessageLoop, ReceiverOwnsThePayloadAndUntakenPayloadsAreFreed) {
  EventLoop loop;
  test::Watchdog dog(std::chrono::seconds(20), loop.Id());
  std::atomic<int> freed = 0;
  std::unique_ptr<Counted> kept;
  LambdaWindow window([&](Message& msg) {
    if (msg.wparam == 1) kept = msg.TakePayload<Counted>();
    EXPECT_EQ(msg.TakePayload<PayloadValue<int>>(), nullptr) << "wrong type is not taken";
    return 0;
  });
  window.Create();
  PostMessage(window.Handle(), kStep, 1, 0, std::make_unique<Counted>(&freed, 42));
  PostMessage(window.Handle(), kStep, 2, 0, std::make_unique<Counted>(&freed, 43));
  loop.RunPending();
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->value, 42);
  EXPECT_EQ(freed, 1);  // the second one, not taken, went with its message
  kept.reset();
  EXPECT_EQ(freed, 2);

  EXPECT_FALSE(PostMessage(0x7fffffff, kStep, 0, 0, std::make_unique<Counted>(&freed)));
  EXPECT_EQ(freed, 3);
}

TEST(MessageLoop, ATextPayloadArrivesWholeAndOnlyAsText) {
  EventLoop loop;
  test::Watchdog dog(std::chrono::seconds(20), loop.Id());
  const std::string long_text = std::string(5000, 'x') + "end";
  const std::string with_nul("a\0b", 3);
  std::vector<std::optional<std::string>> texts;
  int others_left = 0;
  LambdaWindow window([&](Message& msg) {
    texts.push_back(msg.TakeText());
    EXPECT_FALSE(msg.TakeText()) << "taken once";
    if (msg.PeekPayload<PayloadValue<std::string>>()) ++others_left;
    return 0;
  });
  window.Create();
  // Posted from another thread, which frees nothing of it.
  std::thread poster([&] {
    PostMessage(window.Handle(), kStep, 0, 0, PayloadText::Make("http://127.0.0.1:8080/p/1.html"));
    PostMessage(window.Handle(), kStep, 0, 0, PayloadText::Make(""));
    PostMessage(window.Handle(), kStep, 0, 0, PayloadText::Make(long_text));
    PostMessage(window.Handle(), kStep, 0, 0, PayloadText::Make(with_nul));
    PostMessage(window.Handle(), kStep, 0, 0, MakePayload(std::string("not a text payload")));
    PostMessage(window.Handle(), kStep);
  });
  poster.join();
  loop.RunPending();
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[0], "http://127.0.0.1:8080/p/1.html");
  EXPECT_EQ(texts[1], "");
  EXPECT_EQ(texts[2], long_text);
  EXPECT_EQ(texts[3], with_nul);
  EXPECT_EQ(texts[4], std::nullopt);
  EXPECT_EQ(texts[5], std::nullopt);
  EXPECT_EQ(others_left, 1) << "a payload of another kind stays with its message";
}

TEST(MessageLoop, PayloadsStillQueuedWhenTheLoopEndsAreFreed) {
  std::atomic<int> freed = 0;
  {
    EventLoop loop;
    test::Watchdog dog(std::chrono::seconds(20), loop.Id());
    LambdaWindow window;
    window.Create();
    PostMessage(window.Handle(), kStep, 0, 0, std::make_unique<Counted>(&freed));
    PostThreadMessage(loop.Id(), kStep, 0, 0, std::make_unique<Counted>(&freed));
  }
  EXPECT_EQ(freed, 2);
}

TEST(MessageLoop, PostsFromManyThreadsAllArrive) {
  EventLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  int received = 0;
  constexpr int kThreads = 4, kEach = 500;
  LambdaWindow window([&](Message& msg) {
    if (msg.message == kStep && ++received == kThreads * kEach) PostQuitMessage(7);
    return 0;
  });
  window.Create();
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) PostMessage(window.Handle(), kStep);
    });
  }
  EXPECT_EQ(loop.Run(), 7);
  for (auto& p : posters) p.join();
  EXPECT_EQ(received, kThreads * kEach);
}

TEST(MessageLoop, ABusyLoopsPostsToAnotherLoopArriveInOrderAndNoneIsHeldBackWhenItGoesIdle) {
  // A running loop hands its posts to other loops over in batches. 37 is no multiple of a batch:
  // in the first round the last ones arrive only if the end of the worker's pass hands them over;
  // in the second, the thread message posted after them must come after them.
  EventLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  constexpr int kPosts = 37;
  std::atomic<int> freed = 0;
  std::vector<std::string> order;
  LambdaWindow window([&](Message& msg) -> LResult {
    if (msg.message != kStep) return 0;
    auto counted = msg.TakePayload<Counted>();
    order.push_back(std::to_string(counted ? counted->value : -1));
    return 0;
  });
  window.Create();
  const Hwnd target = window.Handle();
  const ThreadId main_id = loop.Id();
  loop.SetThreadMessageHandler([&](Message&) {
    order.push_back("thread");
    PostQuitMessage(3);
  });
  LoopThread worker([&](Message& msg) -> LResult {
    if (msg.message != kStep) return 0;
    for (int i = 0; i < kPosts; ++i) {
      PostMessage(target, kStep, 0, 0, std::make_unique<Counted>(&freed, i));
    }
    if (msg.wparam == 2) PostThreadMessage(main_id, kStep, 0);
    return 0;
  });
  worker.Start();
  std::vector<std::string> expected;
  for (int i = 0; i < kPosts; ++i) expected.push_back(std::to_string(i));
  ASSERT_TRUE(PostMessage(worker.Window(), kStep, 1));
  while (order.size() < expected.size()) loop.RunFor(50);
  EXPECT_EQ(order, expected);
  order.clear();
  ASSERT_TRUE(PostMessage(worker.Window(), kStep, 2));
  EXPECT_EQ(loop.Run(), 3);
  expected.push_back("thread");
  EXPECT_EQ(order, expected);
  worker.Stop();
  EXPECT_EQ(freed, 2 * kPosts);
}

TEST(MessageLoop, SendOnTheOwningThreadIsADirectCall) {
  EventLoop loop;
  test::Watchdog dog(std::chrono::seconds(20), loop.Id());
  int depth = 0;
  LambdaWindow window([&](Message& msg) -> LResult {
    if (msg.message != kStep) return 0;
    ++depth;
    // Re-entrant: a handler may send to its own window.
    LResult inner = msg.wparam > 0 ? SendMessage(msg.hwnd, kStep, msg.wparam - 1) : 0;
    return inner + static_cast<LResult>(msg.wparam);
  });
  window.Create();
  EXPECT_EQ(SendMessage(window.Handle(), kStep, 3), 3 + 2 + 1 + 0);
  EXPECT_EQ(depth, 4);
  EXPECT_EQ(loop.RunPending(), 0) << "nothing was queued";
  EXPECT_EQ(SendMessage(0x7ffffff0, kStep), 0);
}

TEST(MessageLoop, SendFromAnotherThreadWaitsForTheAnswer) {
  LoopThread worker([](Message& msg) -> LResult {
    if (msg.message != kStep) return 0;
    auto block = msg.TakePayload<PayloadValue<std::string>>();
    return static_cast<LResult>(msg.wparam * 10 + (block ? block->value.size() : 0));
  });
  worker.Start();
  Watchdog dog;
  EXPECT_EQ(SendMessage(worker.Window(), kStep, 4, 0, MakePayload<std::string>("abc")), 43);
  worker.Stop();
  EXPECT_EQ(SendMessage(worker.Window(), kStep, 4), 0) << "window gone with its loop";
}

TEST(MessageLoop, TwoLoopsSendingToEachOtherDoNotDeadlock) {
  // B answers A's message by first sending back to A, while A is blocked in its own send.
  std::atomic<Hwnd> a_window = 0;
  LoopThread b([&](Message& msg) -> LResult {
    if (msg.message != kStep) return 0;
    return SendMessage(a_window, kStep, msg.wparam + 1) * 2;
  });
  b.Start();
  Watchdog dog;
  EventLoop a;
  LambdaWindow window([](Message& msg) -> LResult {
    return msg.message == kStep ? static_cast<LResult>(msg.wparam) + 100 : 0;
  });
  window.Create();
  a_window = window.Handle();
  EXPECT_EQ(SendMessage(b.Window(), kStep, 1), (2 + 100) * 2);
  b.Stop();
}

TEST(MessageLoop, ThreadMessagesReachTheThreadHandlerAndQuitWaitsForEverythingQueued) {
  EventLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  std::vector<WParam> seen;
  loop.SetThreadMessageHandler([&](Message& msg) { seen.push_back(msg.wparam); });
  std::thread([id = loop.Id()] {
    PostThreadMessage(id, kStep, 1);
    PostThreadMessage(id, kStep, 2);
    PostThreadMessage(id, WM_QUIT, 5);
  }).join();
  PostThreadMessage(loop.Id(), kStep, 3);  // posted after the quit request, still served first
  EXPECT_EQ(loop.Run(), 5);
  EXPECT_EQ(seen, (std::vector<WParam>{1, 2, 3}));
  EXPECT_FALSE(PostThreadMessage(0x7fffffff, kStep));
}

TEST(MessageLoop, IdleWorkRunsOnlyWhenNothingWaitsAndDueTimersComeFirst) {
  ManualClock clock;
  EventLoop loop(clock);
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  std::vector<std::string> log;
  LambdaWindow window([&](Message& msg) {
    if (msg.message == WM_TIMER) log.push_back("timer");
    if (msg.message == kStep) log.push_back("step");
    if (msg.message == kStop) PostQuitMessage(0);
    return 0;
  });
  window.Create();
  SetTimer(window.Handle(), 1, 1000);
  long calls = 0;
  loop.SetIdleHandler([&](long count) {
    log.push_back("idle" + std::to_string(count));
    ++calls;
    if (calls == 2) clock.Advance(1000);  // the timer is due now: it must come before more idle
    if (calls == 3) PostMessage(window.Handle(), kStep);
    if (calls == 5) PostMessage(window.Handle(), kStop);
    return true;  // always more idle work: messages and timers must still get through
  });
  PostMessage(window.Handle(), kStep);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"step", "idle0", "idle1", "timer", "idle0", "step",
                                           "idle0", "idle1"}));
}

TEST(MessageLoop, AQuietPostWaitsForTheLoopsNextWakeupAndKeepsItsPlace) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<WParam> seen;
  LoopThread thread([&](Message& msg) {
    if (msg.message != kStep) return 0;
    std::lock_guard lock(mutex);
    seen.push_back(msg.wparam);
    changed.notify_all();
    return 0;
  });
  thread.Start();
  const auto wait_for = [&](std::size_t count) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return seen.size() >= count; });
  };
  // The loop must be asleep when the quiet posts come; a loop still finishing its pass takes
  // them at once, so the round is tried again then.
  bool waited = false;
  for (int round = 0; round < 5 && !waited; ++round) {
    {
      std::lock_guard lock(mutex);
      seen.clear();
    }
    ASSERT_TRUE(PostMessage(thread.Window(), kStep, 0));
    wait_for(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(PostQuietMessage(thread.Window(), kStep, 1));
    ASSERT_TRUE(PostQuietMessage(thread.Window(), kStep, 2));
    // Nothing wakes the sleeping loop (no timer, no socket): the quiet posts wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
      std::lock_guard lock(mutex);
      waited = seen.size() == 1;
    }
    ASSERT_TRUE(PostMessage(thread.Window(), kStep, 3));
    wait_for(4);
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen, (std::vector<WParam>{0, 1, 2, 3}));
  }
  EXPECT_TRUE(waited);
  EXPECT_FALSE(PostQuietMessage(0, kStep, 4));
}

TEST(MessageLoop, RealClockTimerWakesASleepingLoop) {
  EventLoop loop;  // monotonic clock: the loop must sleep in epoll until the deadline
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  LambdaWindow window([](Message& msg) {
    if (msg.message == WM_TIMER) PostQuitMessage(static_cast<int>(msg.wparam));
    return 0;
  });
  window.Create();
  SetTimer(window.Handle(), 3, 5);
  EXPECT_EQ(loop.Run(), 3);
}

TEST(MessageLoop, ManualClockAdvancedFromAnotherThreadWakesTheLoop) {
  ManualClock clock;
  std::atomic<Hwnd> hwnd = 0;
  std::atomic<int> ticks = 0;
  std::promise<void> ready;
  std::thread worker([&] {
    EventLoop loop(clock);
    LambdaWindow window([&](Message& msg) {
      if (msg.message == WM_TIMER && ++ticks == 1) PostQuitMessage(0);
      return 0;
    });
    window.Create();
    SetTimer(window.Handle(), 1, 60000);
    hwnd = window.Handle();
    ready.set_value();
    loop.Run();
  });
  Watchdog dog;
  ready.get_future().wait();
  clock.Advance(60000);
  worker.join();
  EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace qlm
