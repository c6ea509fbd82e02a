#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "picture/StepClock.h"
#include "picture/TransitionRunner.h"
#include "picture/TransitionSteps.h"

namespace qlm {
namespace {

using Lines = std::vector<int>;

Lines StepLines(const TransitionStep& step) {
  return Lines(step.lines, step.lines + step.count);
}

std::vector<Lines> AllSteps(int effect, int width, int height) {
  const TransitionSteps steps(effect, width, height);
  std::vector<Lines> out;
  for (int i = 0; i < steps.Count(); ++i) out.push_back(StepLines(steps.At(i)));
  return out;
}

// The line orders written the way the effects are described: loops with a running counter, so
// that the arithmetic of TransitionSteps is checked against a second formulation.
std::vector<Lines> DescribedOrder(int effect, int extent) {
  std::vector<Lines> out;
  const int odd_start = extent % 2 == 0 ? extent - 1 : extent;
  switch (effect) {
    case kCrossH:
    case kCrossV: {
      int r = odd_start;
      for (int i = 0; i < extent; i += 2, r -= 2) out.push_back({i, r});
      break;
    }
    case kWiperH:
    case kWiperV: {
      for (int i = 0; i < extent; i += 2) out.push_back({i});
      int r = odd_start;
      for (int k = 0; k < extent; k += 2, r -= 2) out.push_back({r});
      break;
    }
    case kRasterCloseH:
    case kRasterCloseV:
      for (int i = 0; i <= extent / 2; ++i) out.push_back({i, extent - i});
      break;
    case kRasterOpenH:
    case kRasterOpenV:
      for (int n = extent / 2, m = extent - n; n >= 0; --n, ++m) out.push_back({n, m});
      break;
    default:
      for (int x = 0; x < extent; ++x) out.push_back({x});
      break;
  }
  return out;
}

TEST(TransitionStepsTest, ExamplesCopyTheirLinesInOrder) {
  const struct {
    int effect, width, height;
    std::vector<Lines> want;
  } cases[] = {
      {kCrossH, 5, 9, {{0, 5}, {2, 3}, {4, 1}}},  // 5 lies one past the area
      {kCrossH, 4, 9, {{0, 3}, {2, 1}}},
      {kCrossV, 9, 5, {{0, 5}, {2, 3}, {4, 1}}},
      {kRasterOpenH, 4, 1, {{2, 2}, {1, 3}, {0, 4}}},
      {kRasterCloseV, 1, 4, {{0, 4}, {1, 3}, {2, 2}}},
      {kRasterCloseH, 5, 1, {{0, 5}, {1, 4}, {2, 3}}},
      {kWiperH, 5, 1, {{0}, {2}, {4}, {5}, {3}, {1}}},
      {kWiperV, 1, 4, {{0}, {2}, {3}, {1}}},
      {kRasterH, 3, 7, {{0}, {1}, {2}}},
      {kRasterV, 7, 2, {{0}, {1}}},
      {kRandom, 2, 9, {{0}, {1}}},  // Random unresolved and unknown numbers run as RasterH
      {12, 2, 9, {{0}, {1}}},
      {-1, 2, 9, {{0}, {1}}},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(AllSteps(k.effect, k.width, k.height), k.want)
        << TransitionEffectName(k.effect) << " " << k.effect << " " << k.width << "x" << k.height;
  }
}

TEST(TransitionStepsTest, NoEffectIsOneWholeAreaStep) {
  const TransitionSteps steps(kNoEffect, 640, 480);
  ASSERT_EQ(steps.Count(), 1);
  EXPECT_EQ(steps.At(0).kind, TransitionStep::kWholeArea);
  EXPECT_EQ(steps.At(0).count, 0);
}

TEST(TransitionStepsTest, EveryEffectRevealsEveryLineOnceInItsDescribedOrder) {
  for (int effect = kCrossH; effect <= kWiperV; ++effect) {
    const bool rows = effect % 2 == 1;
    for (int extent = 0; extent <= 41; ++extent) {
      SCOPED_TRACE(std::string(TransitionEffectName(effect)) + " over " + std::to_string(extent));
      const TransitionSteps steps(effect, rows ? 3 : extent, rows ? extent : 3);
      EXPECT_EQ(steps.Extent(), extent);
      const std::vector<Lines> got = AllSteps(effect, rows ? 3 : extent, rows ? extent : 3);
      ASSERT_EQ(got, DescribedOrder(effect, extent));
      std::set<int> revealed;
      for (int i = 0; i < steps.Count(); ++i) {
        const TransitionStep step = steps.At(i);
        EXPECT_EQ(step.kind, rows ? TransitionStep::kRows : TransitionStep::kColumns);
        for (int line : StepLines(step)) {
          ASSERT_GE(line, 0);
          ASSERT_LE(line, extent);  // at most one past the area
          if (line < extent) revealed.insert(line);
        }
      }
      EXPECT_EQ(static_cast<int>(revealed.size()), extent);
    }
  }
}

TEST(TransitionStepsTest, StepCountsOnAWideScreen) {
  const struct {
    int effect, steps;
  } cases[] = {{kRasterH, 1024},    {kCrossH, 512},       {kWiperH, 1024},
               {kRasterOpenH, 513}, {kRasterCloseH, 513}, {kRasterV, 768}};
  for (const auto& k : cases)
    EXPECT_EQ(TransitionSteps(k.effect, 1024, 768).Count(), k.steps) << k.effect;
}

TEST(TransitionEffectTest, RandomIsDrawnFromTheClockAndNeverNoEffectOrRandom) {
  std::set<int> seen;
  for (uint32_t ms : {0u, 1u, 9u, 10u, 1234u, 0xFFFFFFFFu}) {
    EXPECT_EQ(ResolveTransitionEffect(kRandom, ms), static_cast<int>(ms % 10) + 2) << ms;
  }
  for (uint32_t ms = 0; ms < 100; ++ms) seen.insert(ResolveTransitionEffect(kRandom, ms));
  EXPECT_EQ(seen, (std::set<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  for (int effect : {0, 2, 11}) EXPECT_EQ(ResolveTransitionEffect(effect, 7), effect);
  for (int effect : {-1, 12, 1000}) EXPECT_EQ(ResolveTransitionEffect(effect, 7), kRasterH);
  EXPECT_STREQ(TransitionEffectName(0), "NoEffect");
  EXPECT_STREQ(TransitionEffectName(6), "RasterCloseH");
  EXPECT_STREQ(TransitionEffectName(11), "WiperV");
  EXPECT_STREQ(TransitionEffectName(12), "");
}

// A clock that moves only when the transition sleeps or a copy says how long it took.
class ManualStepClock : public StepClock {
 public:
  explicit ManualStepClock(uint32_t start) : now_(start) {}
  uint32_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override {
    sleeps.push_back(ms);
    now_ += ms;
  }
  void Advance(uint32_t ms) { now_ += ms; }

  std::vector<uint32_t> sleeps;

 private:
  uint32_t now_;
};

class TransitionRunnerTest : public ::testing::Test {
 protected:
  TransitionOutcome Run(int effect, int width, int height, int delay) {
    return RunTransition(effect, width, height, delay, clock_, abort_,
                         [this](const TransitionStep& step) {
                           copies_.push_back(step);
                           if (!copy_costs_.empty()) {
                             clock_.Advance(copy_costs_.front());
                             copy_costs_.erase(copy_costs_.begin());
                           }
                           if (static_cast<int>(copies_.size()) == abort_after_) abort_ = true;
                         });
  }

  ManualStepClock clock_{1000};
  std::atomic<bool> abort_{false};
  std::vector<TransitionStep> copies_;
  std::vector<uint32_t> copy_costs_;  // ms each successive copy takes; 0 when run out
  int abort_after_ = -1;              // the copy after which the display asks to close
};

TEST_F(TransitionRunnerTest, LinesPastTheAreaAreNotCopiedButTheirStepStillTakesItsTime) {
  const TransitionOutcome out = Run(kCrossH, 5, 3, 10);
  EXPECT_EQ(out.effect, kCrossH);
  EXPECT_EQ(out.steps_done, 3);
  EXPECT_FALSE(out.aborted);
  ASSERT_EQ(copies_.size(), 3u);
  EXPECT_EQ(StepLines(copies_[0]), Lines{0});  // column 5 dropped
  EXPECT_EQ(StepLines(copies_[1]), (Lines{2, 3}));
  EXPECT_EQ(StepLines(copies_[2]), (Lines{4, 1}));
  EXPECT_EQ(clock_.sleeps, (std::vector<uint32_t>{10, 10, 10}));

  // Over an empty area the closing effect's one step copies nothing and still waits.
  copies_.clear();
  clock_.sleeps.clear();
  EXPECT_EQ(Run(kRasterCloseV, 5, 0, 7).steps_done, 1);
  EXPECT_TRUE(copies_.empty());
  EXPECT_EQ(clock_.sleeps, std::vector<uint32_t>{7});
}

TEST_F(TransitionRunnerTest, EachStepSleepsOnlyTheRestOfItsDelay) {
  const struct {
    const char* what;
    int delay;
    std::vector<uint32_t> costs, sleeps;
  } cases[] = {
      {"quick copies", 5, {2, 0, 4, 5}, {3, 5, 1}},
      {"a slow step is not made up", 5, {12, 1, 1, 1}, {4, 4, 4}},
      {"delay 0", 0, {0, 0, 0, 0}, {}},
      {"negative delay", -5, {0, 0, 0, 0}, {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    clock_.sleeps.clear();
    copies_.clear();
    copy_costs_ = k.costs;
    EXPECT_EQ(Run(kRasterH, 4, 2, k.delay).steps_done, 4);
    EXPECT_EQ(clock_.sleeps, k.sleeps);
  }
}

TEST_F(TransitionRunnerTest, StepTimingHoldsAcrossTheClockWrapping) {
  clock_ = ManualStepClock(0xFFFFFFFEu);
  copy_costs_ = {3};
  Run(kRasterV, 1, 1, 5);
  EXPECT_EQ(clock_.sleeps, std::vector<uint32_t>{2});
}

TEST_F(TransitionRunnerTest, DefaultDelayOverAWideScreenLastsStepsTimesDelay) {
  const struct {
    int effect;
    uint32_t ms;
  } cases[] = {{kRasterH, 5120}, {kCrossH, 2560}, {kWiperH, 5120}, {kRasterOpenH, 2565}};
  for (const auto& k : cases) {
    clock_ = ManualStepClock(0);
    Run(k.effect, 1024, 768, 5);
    EXPECT_EQ(clock_.NowMs(), k.ms) << k.effect;
  }
}

TEST_F(TransitionRunnerTest, NoEffectCopiesTheWholeAreaAtOnceWhateverTheDelay) {
  const TransitionOutcome out = Run(kNoEffect, 640, 480, 10000);
  EXPECT_EQ(out.steps_done, 1);
  ASSERT_EQ(copies_.size(), 1u);
  EXPECT_EQ(copies_[0].kind, TransitionStep::kWholeArea);
  EXPECT_TRUE(clock_.sleeps.empty());
}

TEST_F(TransitionRunnerTest, RandomTakesItsEffectFromTheClock) {
  clock_ = ManualStepClock(1234);  // 1234 mod 10 + 2 = 6, RasterCloseH
  const TransitionOutcome out = Run(kRandom, 4, 4, 0);
  EXPECT_EQ(out.effect, kRasterCloseH);
  ASSERT_EQ(copies_.size(), 3u);
  EXPECT_EQ(StepLines(copies_[0]), Lines{0});  // column 4 lies past the area
}

TEST_F(TransitionRunnerTest, AbortStopsBeforeTheNextStep) {
  for (int effect : {kNoEffect, kCrossV, kWiperH, kRasterOpenV}) {
    SCOPED_TRACE(TransitionEffectName(effect));
    for (int after : {1, 2, 5}) {
      abort_ = false;
      copies_.clear();
      clock_.sleeps.clear();
      abort_after_ = after;
      const TransitionOutcome out = Run(effect, 20, 20, 5);
      const int all = TransitionSteps(effect, 20, 20).Count();
      const int expected = std::min(after, all);
      EXPECT_EQ(static_cast<int>(copies_.size()), expected);
      EXPECT_EQ(out.steps_done, expected);
      EXPECT_EQ(out.aborted, after < all);
      // The step during which the flag was set keeps its delay; nothing follows it.
      if (effect != kNoEffect) {
        EXPECT_EQ(static_cast<int>(clock_.sleeps.size()), expected);
      }
    }
  }
  // A flag already set when the picture arrives copies nothing at all.
  abort_ = true;
  abort_after_ = -1;
  copies_.clear();
  const TransitionOutcome out = Run(kNoEffect, 10, 10, 0);
  EXPECT_TRUE(out.aborted);
  EXPECT_EQ(out.steps_done, 0);
  EXPECT_TRUE(copies_.empty());
}

}  // namespace
}  // namespace qlm
