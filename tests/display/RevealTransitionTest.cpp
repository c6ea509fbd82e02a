#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <cstdint>
#include <vector>

#include "picture/StepClock.h"
#include "picture/TransitionSteps.h"
#include "picture/display/DisplayBuffers.h"
#include "picture/display/RevealTransition.h"
#include "tests/display/DisplayTestPictures.h"

namespace qlm {
namespace {

using test::Rgb;

// Time moves only by the sleeps the transition asks for.
class SleepCountingClock final : public StepClock {
 public:
  uint32_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override { now_ += ms; }
  uint32_t now_ = 0;
};

constexpr uint32_t kOutside = 0x0A0B0C;  // NextBuffer beyond the area: must never be shown

// NextBuffer gets a distinct colour per pixel inside the area.
uint32_t NextPixel(int x, int y) {
  return 0x400000u + static_cast<uint32_t>(x) * 0x100u + static_cast<uint32_t>(y);
}

void FillNext(DisplayBuffers& buffers, QSize area) {
  QImage& next = buffers.NextBuffer();
  next.fill(QColor::fromRgb(kOutside));
  for (int y = 0; y < area.height(); ++y)
    for (int x = 0; x < area.width(); ++x) next.setPixel(x, y, 0xFF000000u | NextPixel(x, y));
}

// The lines each effect reveals, in order, as the steps lay them out inside the area.
std::vector<QRect> ExpectedRects(int effect, QSize area) {
  const TransitionSteps steps(effect, area.width(), area.height());
  std::vector<QRect> rects;
  for (int i = 0; i < steps.Count(); ++i) {
    const TransitionStep step = steps.At(i);
    if (step.kind == TransitionStep::kWholeArea) rects.push_back(QRect(QPoint(0, 0), area));
    for (int k = 0; k < step.count; ++k) {
      const int line = step.lines[k];
      if (line >= steps.Extent()) continue;
      rects.push_back(step.kind == TransitionStep::kColumns ? QRect(line, 0, 1, area.height())
                                                            : QRect(0, line, area.width(), 1));
    }
  }
  return rects;
}

TEST(RevealTransitionTest, EveryEffectRevealsEveryLineOfTheAreaInItsOrder) {
  // Odd and even extents both, inside a larger buffer whose rest stays black.
  for (QSize area : {QSize(7, 5), QSize(8, 6)}) {
    for (int effect = 0; effect < kTransitionEffectCount; ++effect) {
      SCOPED_TRACE(testing::Message() << TransitionEffectName(effect) << " over " << area.width()
                                      << "x" << area.height());
      DisplayBuffers buffers(QSize(10, 9));
      FillNext(buffers, area);
      SleepCountingClock clock;
      clock.now_ = 1005;  // Random picks (1005 mod 10) + 2 = RasterCloseV
      std::atomic<bool> abort{false};
      std::vector<QRect> repainted;
      const TransitionOutcome outcome =
          RevealTransition(buffers, area, effect, 5, clock, abort, [&](const QRect& rect) {
            // The window is asked for a line only once ShownBuffer holds it.
            const QImage shown = buffers.ShownCopy();
            for (int y = rect.top(); y <= rect.bottom(); ++y)
              for (int x = rect.left(); x <= rect.right(); ++x)
                ASSERT_EQ(Rgb(shown, x, y), NextPixel(x, y));
            repainted.push_back(rect);
          });
      const int resolved = effect == kRandom ? kRasterCloseV : effect;
      EXPECT_EQ(outcome.effect, resolved);
      EXPECT_FALSE(outcome.aborted);
      EXPECT_EQ(repainted, ExpectedRects(resolved, area));

      const QImage shown = buffers.ShownCopy();
      for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 10; ++x) {
          const bool inside = x < area.width() && y < area.height();
          ASSERT_EQ(Rgb(shown, x, y), inside ? NextPixel(x, y) : 0u) << x << "," << y;
        }
      }
      // Each step but NoEffect's lasts the delay.
      EXPECT_EQ(clock.now_ - 1005, resolved == kNoEffect ? 0u : 5u * outcome.steps_done);
    }
  }
}

TEST(RevealTransitionTest, AbortStopsAtTheNextStepAndKeepsWhatWasShown) {
  DisplayBuffers buffers(QSize(12, 4));
  FillNext(buffers, QSize(12, 4));
  SleepCountingClock clock;
  std::atomic<bool> abort{false};
  int steps = 0;
  const TransitionOutcome outcome =
      RevealTransition(buffers, QSize(12, 4), kRasterH, 5, clock, abort, [&](const QRect&) {
        if (++steps == 3) abort = true;  // the closing window sets it during the third step
      });
  EXPECT_TRUE(outcome.aborted);
  EXPECT_EQ(outcome.steps_done, 3);
  const QImage shown = buffers.ShownCopy();
  for (int x = 0; x < 12; ++x) {
    EXPECT_EQ(Rgb(shown, x, 2), x < 3 ? NextPixel(x, 2) : 0u) << "column " << x;
  }

  // A flag already set before the first step shows nothing at all.
  DisplayBuffers untouched(QSize(4, 4));
  FillNext(untouched, QSize(4, 4));
  const TransitionOutcome none =
      RevealTransition(untouched, QSize(4, 4), kNoEffect, 5, clock, abort, [](const QRect&) {});
  EXPECT_EQ(none.steps_done, 0);
  EXPECT_EQ(Rgb(untouched.ShownCopy(), 0, 0), 0u);
}

TEST(RevealTransitionTest, AreaBeyondTheBuffersIsRevealedAsFarAsTheyReach) {
  DisplayBuffers buffers(QSize(6, 3));
  FillNext(buffers, QSize(6, 3));
  SleepCountingClock clock;
  std::atomic<bool> abort{false};
  std::vector<QRect> repainted;
  const TransitionOutcome outcome =
      RevealTransition(buffers, QSize(40, 30), kRasterV, 0, clock, abort,
                       [&](const QRect& rect) { repainted.push_back(rect); });
  EXPECT_EQ(outcome.steps_done, 3);
  EXPECT_EQ(repainted, (std::vector<QRect>{{0, 0, 6, 1}, {0, 1, 6, 1}, {0, 2, 6, 1}}));
  EXPECT_EQ(clock.now_, 0u);  // a delay of 0 never sleeps
}

}  // namespace
}  // namespace qlm
