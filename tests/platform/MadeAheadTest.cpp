#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "platform/MadeAhead.h"

namespace qlm {
namespace {

// What was made: its number and the round it was made in.
struct Thing {
  int number = 0;
  int round = 0;
};

TEST(MadeAheadTest, RoundsEndAfterAtMostKeptThingsEvenWhenTheyAreTakenAsFastAsTheyAreMade) {
  constexpr std::size_t kKept = 8;
  std::atomic<int> round{0};
  int next = 0;
  std::atomic<int> discarded{0};
  std::vector<Thing> taken;
  {
    MadeAhead<Thing> ahead(
        kKept,
        [&](Thing& thing) {
          // Slower than a take, so that the taker always waits for the next one.
          std::this_thread::sleep_for(std::chrono::microseconds(300));
          thing = {++next, round.load()};
          return MadeAhead<Thing>::Outcome::kMade;
        },
        [&](Thing&) { ++discarded; }, [&] { ++round; });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (taken.size() < 6 * kKept && std::chrono::steady_clock::now() < deadline) {
      if (auto thing = ahead.Take()) taken.push_back(*thing);
    }
    ASSERT_EQ(taken.size(), 6 * kKept);
  }
  // Taken in the order made, each round at most kKept long: at least six rounds.
  std::map<int, std::size_t> per_round;
  for (std::size_t i = 0; i < taken.size(); ++i) {
    EXPECT_EQ(taken[i].number, static_cast<int>(i) + 1);
    ++per_round[taken[i].round];
  }
  EXPECT_GE(per_round.size(), 6u);
  for (const auto& [r, count] : per_round) EXPECT_LE(count, kKept) << "round " << r;
  // What was made and not taken went to `discard`.
  EXPECT_EQ(static_cast<std::size_t>(next), taken.size() + discarded.load());
}

TEST(MadeAheadTest, RefillsWhenHalfAreGoneAndStopsMakingAfterAFailure) {
  constexpr std::size_t kKept = 8;
  std::atomic<int> made{0};
  std::atomic<bool> fail{false};
  std::atomic<int> discarded{0};
  MadeAhead<int> ahead(
      kKept,
      [&](int& thing) {
        if (fail) return MadeAhead<int>::Outcome::kFailed;
        thing = ++made;
        // Every third try passes over a number, as a name already taken would.
        return thing % 3 == 0 ? MadeAhead<int>::Outcome::kSkip : MadeAhead<int>::Outcome::kMade;
      },
      [&](int&) { ++discarded; });
  auto wait_ready = [&](std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ahead.Ready() != count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ahead.Ready();
  };
  ASSERT_EQ(wait_ready(kKept), kKept);
  std::vector<int> taken;
  for (std::size_t i = 0; i < kKept / 2 - 1; ++i) taken.push_back(*ahead.Take());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ahead.Ready(), kKept / 2 + 1);  // more than half left: not asked yet
  taken.push_back(*ahead.Take());
  EXPECT_EQ(wait_ready(kKept), kKept);
  for (int number : taken) EXPECT_NE(number % 3, 0);
  // After a failure the thread makes no more; the takers find none once those made are gone.
  fail = true;
  for (std::size_t i = 0; i < kKept; ++i) ASSERT_TRUE(ahead.Take());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(ahead.Take());
  EXPECT_EQ(discarded.load(), 0);
}

TEST(MadeAheadTest, TheMakingThreadRunsBelowThePriorityOfTheThreadItServes) {
  const int own = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
  std::atomic<int> maker{-100};
  {
    MadeAhead<int> ahead(
        2,
        [&](int& thing) {
          maker = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
          thing = 1;
          return MadeAhead<int>::Outcome::kMade;
        },
        [](int&) {});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ahead.Ready() < 2 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Well below the default, and never above where the program was started.
  EXPECT_GE(maker.load(), 10);
  EXPECT_GE(maker.load(), own);
  // Only the making thread's own priority changed.
  EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), own);
}

}  // namespace
}  // namespace qlm
