// Window timers on a manual clock: the loop is driven by hand, so every expectation is exact.
#include <gtest/gtest.h>

#include <utility>
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

class TimerTest : public testing::Test {
 protected:
  TimerTest() : loop_(clock_), watchdog_(std::chrono::seconds(20), loop_.Id()) {
    window_.SetHandler([this](Message& msg) {
      if (msg.message == WM_TIMER) ticks_.push_back(msg.wparam);
      return 0;
    });
    window_.Create();
  }

  // Moves the clock and serves whatever became due.
  void Advance(std::int64_t ms) {
    clock_.Advance(ms);
    loop_.RunPending();
  }

  ManualClock clock_;
  EventLoop loop_;
  test::Watchdog watchdog_;
  LambdaWindow window_;
  std::vector<WParam> ticks_;
};

TEST_F(TimerTest, FiresExactlyAtItsDeadlineAndThenEveryPeriod) {
  ASSERT_EQ(SetTimer(window_.Handle(), 7, 1000), 7u);
  Advance(999);
  EXPECT_TRUE(ticks_.empty());
  Advance(1);
  EXPECT_EQ(ticks_, std::vector<WParam>{7});
  Advance(999);
  EXPECT_EQ(ticks_.size(), 1u);
  Advance(1);
  EXPECT_EQ(ticks_, (std::vector<WParam>{7, 7}));
}

TEST_F(TimerTest, SixtySecondLimitIsReachedWithoutWaiting) {
  SetTimer(window_.Handle(), 1, 60000);
  Advance(59999);
  EXPECT_TRUE(ticks_.empty());
  Advance(1);
  EXPECT_EQ(ticks_.size(), 1u);
}

TEST_F(TimerTest, KilledTimerNeverTicksAgainEvenWhenItsTickWasWaiting) {
  SetTimer(window_.Handle(), 1, 100);
  clock_.Advance(100);
  loop_.QueueDueTimers();  // the tick now waits in the queue
  ASSERT_TRUE(loop_.HasWaitingTimerMessage());
  EXPECT_TRUE(KillTimer(window_.Handle(), 1));
  EXPECT_FALSE(loop_.HasWaitingTimerMessage());
  Advance(1000);
  EXPECT_TRUE(ticks_.empty());
  EXPECT_FALSE(KillTimer(window_.Handle(), 1));  // no longer running
}

TEST_F(TimerTest, RestartWithdrawsTheWaitingTickAndCountsFromNow) {
  SetTimer(window_.Handle(), 1, 100);
  clock_.Advance(100);
  loop_.QueueDueTimers();
  SetTimer(window_.Handle(), 1, 100);  // restarted before the old tick was served
  loop_.RunPending();
  EXPECT_TRUE(ticks_.empty());
  Advance(99);
  EXPECT_TRUE(ticks_.empty());
  Advance(1);
  EXPECT_EQ(ticks_.size(), 1u);
}

TEST_F(TimerTest, EqualDeadlinesFireInTheOrderTheTimersWereSet) {
  for (WParam id : {5, 3, 9, 1}) SetTimer(window_.Handle(), id, 50);
  Advance(50);
  EXPECT_EQ(ticks_, (std::vector<WParam>{5, 3, 9, 1}));
}

TEST_F(TimerTest, EarlierDeadlineFiresFirstWhateverTheStartOrder) {
  SetTimer(window_.Handle(), 1, 300);
  SetTimer(window_.Handle(), 2, 100);
  SetTimer(window_.Handle(), 3, 200);
  Advance(1000);  // all due in one pass: queued by deadline
  EXPECT_EQ(ticks_, (std::vector<WParam>{2, 3, 1}));
}

TEST_F(TimerTest, ClockJumpingFarAheadGivesOneTickNotABurst) {
  SetTimer(window_.Handle(), 1, 10);
  Advance(10000);
  EXPECT_EQ(ticks_.size(), 1u);
  Advance(10);
  EXPECT_EQ(ticks_.size(), 2u);
}

TEST_F(TimerTest, ZeroElapseTicksOnTheNextPass) {
  SetTimer(window_.Handle(), 4, 0);
  loop_.RunPending();
  EXPECT_EQ(ticks_, std::vector<WParam>{4});
  KillTimer(window_.Handle(), 4);
}

TEST_F(TimerTest, DestroyedWindowTakesItsTimersAlong) {
  LambdaWindow other;
  ASSERT_TRUE(other.Create());
  const Hwnd gone = other.Handle();
  SetTimer(gone, 1, 10);
  other.Destroy();
  EXPECT_EQ(SetTimer(gone, 1, 10), 0u);
  EXPECT_FALSE(KillTimer(gone, 1));
  EXPECT_EQ(loop_.NextTimerDeadline(), INT64_MAX);
}

TEST_F(TimerTest, TimersRestartedThousandsOfTimesLeaveLittleBehindAndStillFireOnTime) {
  // As download objects do: a limit of a minute restarted at every step, another one killed.
  for (int step = 0; step < 20000; ++step) {
    SetTimer(window_.Handle(), 1 + step % 3, 60000 + step % 7);
    KillTimer(window_.Handle(), 4);
    SetTimer(window_.Handle(), 4, 30000);
    if (step % 2 == 0) KillTimer(window_.Handle(), 4);
  }
  SetTimer(window_.Handle(), 5, 10);
  EXPECT_LE(loop_.Queue()->KeptDeadlines(), 200u);
  Advance(10);
  EXPECT_EQ(ticks_, std::vector<WParam>{5});
  KillTimer(window_.Handle(), 5);
  ticks_.clear();
  // Only each timer's last start counts: 4 was set last at the last step (odd); 2, 3 and 1 were
  // last set for 60000, 60005 and 60006 ms.
  Advance(30000 - 10);
  EXPECT_EQ(ticks_, std::vector<WParam>{4});
  KillTimer(window_.Handle(), 4);
  ticks_.clear();
  Advance(29999);
  EXPECT_TRUE(ticks_.empty());
  Advance(7);
  EXPECT_EQ(ticks_, (std::vector<WParam>{2, 3, 1}));
}

TEST_F(TimerTest, SettingATimerNeedsAWindowAndANonZeroId) {
  EXPECT_EQ(SetTimer(0, 1, 10), 0u);
  EXPECT_EQ(SetTimer(window_.Handle(), 0, 10), 0u);
  EXPECT_EQ(SetTimer(window_.Handle() + 12345, 1, 10), 0u);
}

}  // namespace
}  // namespace qlm
