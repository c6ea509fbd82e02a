#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <atomic>
#include <thread>

#include "picture/StepClock.h"
#include "picture/TransitionSteps.h"
#include "picture/display/DisplayBuffers.h"
#include "picture/display/DisplayWidget.h"
#include "picture/display/RevealTransition.h"
#include "tests/display/DisplayTestPictures.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::Rgb;

// Remembers what each paint was asked to cover.
class RecordingWidget final : public DisplayWidget {
 public:
  using DisplayWidget::DisplayWidget;
  QRegion painted;
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    painted += event->region();
    ++paints;
    DisplayWidget::paintEvent(event);
  }
};

void ServeUntilPainted(RecordingWidget& widget) {
  for (int i = 0; i < 50 && widget.paints == 0; ++i) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

uint32_t Pattern(int x, int y) {
  return 0x200000u + static_cast<uint32_t>(x) * 0x300u + static_cast<uint32_t>(y) * 5u;
}

TEST(DisplayWidgetTest, RepaintsExactlyTheLinesAskedForFromAnyThread) {
  DisplayBuffers buffers(QSize(40, 30));
  RecordingWidget widget(buffers);
  widget.resize(40, 30);
  widget.show();
  ServeUntilPainted(widget);  // the first, whole paint
  widget.painted = QRegion();
  widget.paints = 0;

  std::thread([&] {
    widget.RequestRepaint(QRect(3, 0, 1, 30));
    widget.RequestRepaint(QRect(0, 7, 40, 1));
  }).join();
  ServeUntilPainted(widget);
  EXPECT_EQ(widget.painted, QRegion(QRect(3, 0, 1, 30)) + QRegion(QRect(0, 7, 40, 1)));
  EXPECT_EQ(widget.ClientSize(), QSize(40, 30));
}

TEST(DisplayWidgetTest, ShowsShownBufferAfterARevealOnAnotherThread) {
  test::Watchdog dog;
  DisplayBuffers buffers(QSize(48, 32));
  RecordingWidget widget(buffers);
  widget.resize(30, 20);
  widget.show();
  QImage& next = buffers.NextBuffer();
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) next.setPixel(x, y, 0xFF000000u | Pattern(x, y));

  std::atomic<bool> done{false};
  std::thread reader([&] {
    SystemStepClock clock;
    std::atomic<bool> abort{false};
    RevealTransition(buffers, widget.ClientSize(), kCrossV, 1, clock, abort,
                     [&](const QRect& rect) { widget.RequestRepaint(rect); });
    done = true;
  });
  // The user-interface thread keeps painting while the reader copies.
  while (!done) QCoreApplication::processEvents();
  reader.join();
  QCoreApplication::processEvents();

  const QImage on_screen = widget.grab().toImage();
  ASSERT_EQ(on_screen.size(), QSize(30, 20));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(Rgb(on_screen, x, y), Pattern(x, y)) << x << "," << y;
  // Only the client area was revealed; ShownBuffer beyond it is still black.
  EXPECT_EQ(Rgb(buffers.ShownCopy(), 30, 0), 0u);
  EXPECT_TRUE(widget.painted.contains(QRect(0, 0, 30, 20)));
}

TEST(DisplayWidgetTest, WindowLargerThanTheBuffersShowsBlackBeyondThem) {
  DisplayBuffers buffers(QSize(10, 10));
  buffers.NextBuffer().fill(Qt::white);
  buffers.CopyRect(QRect(0, 0, 10, 10));
  DisplayWidget widget(buffers);
  widget.resize(16, 12);
  const QImage on_screen = widget.grab().toImage();
  EXPECT_EQ(Rgb(on_screen, 9, 9), 0xFFFFFFu);
  EXPECT_EQ(Rgb(on_screen, 15, 0), 0u);
  EXPECT_EQ(Rgb(on_screen, 0, 11), 0u);
}

}  // namespace
}  // namespace qlm
