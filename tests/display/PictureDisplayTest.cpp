#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "picture/ChannelMessages.h"
#include "picture/PictureBlock.h"
#include "picture/StepClock.h"
#include "picture/display/DisplayWidget.h"
#include "picture/display/PictureComposer.h"
#include "picture/display/PictureDisplay.h"
#include "picture/display/QtMessageLoop.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "tests/display/DisplayTestPictures.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using test::Rgb;

constexpr uint32_t kPicture = 0x3366CC;
constexpr uint32_t kBackgroundColorref = 0x00112233;  // RGB 0x332211

// Time that moves by the sleeps asked for; a sleep may be held until the test lets it go.
class GatedClock final : public StepClock {
 public:
  uint32_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override {
    std::unique_lock lock(mutex_);
    ++sleeps_;
    signal_.notify_all();
    signal_.wait(lock, [this] { return open_; });
    now_ += ms;
  }
  void Hold() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    open_ = true;
    signal_.notify_all();
  }
  void WaitForSleeps(int count) {
    std::unique_lock lock(mutex_);
    signal_.wait(lock, [&] { return sleeps_ >= count; });
  }

 private:
  std::atomic<uint32_t> now_{0};
  std::mutex mutex_;
  std::condition_variable signal_;
  bool open_ = true;
  int sleeps_ = 0;
};

// A display on the Qt loop of the test thread, a main window beside it that collects the
// answers, and a picture block of the test's own.
class PictureDisplayTest : public testing::Test {
 protected:
  PictureDisplayTest()
      : block_name_("display test block " + std::to_string(reinterpret_cast<uintptr_t>(this))),
        display_(QSize(80, 60), PictureComposer(), block_name_),
        widget_(display_.Buffers()),
        main_window_([this](Message& msg) -> LResult {
          if (msg.message == WM_PICTURE_SHOWN) answers_.push_back(msg.lparam);
          return 0;
        }) {
    display_.AttachWidget(&widget_);
    display_.SetStepClock(&clock_);
    widget_.resize(40, 30);
    widget_.show();  // a hidden widget hears of no resize
  }

  void SetUp() override {
    ASSERT_TRUE(display_.Open(kSlideWindowClass, kSlideWindowTitle));
    ASSERT_TRUE(main_window_.Create("QlmTestMain", kMainFrameTitle));
  }

  // Lays a uniform picture into the block, as the main program does before it sends.
  void WriteBlock(int effect, const std::string& mark, int width = 8, int height = 6) {
    test::TestDib dib = test::MakeUniformDib(width, height, kPicture);
    PictureHeader header;
    header.colour = kBackgroundColorref;
    header.effect = effect;
    header.step_delay = 5;
    header.mark = mark;
    header.file = "/pictures/blue.jpg";
    ASSERT_TRUE(block_.Create(block_name_, header, dib.memory.Size()));
    std::memcpy(block_.BitmapArea(), dib.memory.Data(), dib.memory.Size());
  }

  void SendPicture() {
    EXPECT_EQ(SendMessage(display_.Handle(), MSG_PICTURE_READY, kPictureReadyWParam,
                          static_cast<LParam>(main_window_.Handle())),
              0);
  }

  // Serves the Qt loop until `count` answers are in.
  void WaitForAnswers(size_t count) {
    while (answers_.size() < count && !dog_.Fired()) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  QtMessageLoop loop_;
  test::Watchdog dog_;
  std::string block_name_;
  GatedClock clock_;
  PictureDisplay display_;
  DisplayWidget widget_;
  LambdaWindow main_window_;
  PictureBlock block_;
  std::vector<LParam> answers_;
};

TEST_F(PictureDisplayTest, APictureIsFittedToTheWindowRevealedAndAnswered) {
  WriteBlock(kCrossV, "");
  SendPicture();
  WaitForAnswers(1);
  ASSERT_EQ(answers_.size(), 1u);
  EXPECT_EQ(answers_[0], static_cast<LParam>(display_.Handle()));
  EXPECT_EQ(display_.MainWindow(), main_window_.Handle());

  // 8 x 6 in a 40 x 30 client fills it; the buffers beyond the client stay black.
  const QImage shown = display_.Buffers().ShownCopy();
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 80; ++x) {
      ASSERT_EQ(Rgb(shown, x, y), x < 40 && y < 30 ? kPicture : 0u) << x << "," << y;
    }
  }
}

TEST_F(PictureDisplayTest, AResizedWindowGetsTheNextPictureInItsNewSizeWithItsCaption) {
  widget_.resize(60, 20);
  QCoreApplication::processEvents();
  WriteBlock(kNoEffect, kNewPictureMark);
  SendPicture();
  WaitForAnswers(1);
  // Fitted to 26 x 20 at (17, 0), the caption band over the top rows.
  const QImage shown = display_.Buffers().ShownCopy();
  const int band = PictureComposer::CaptionBandRows(
      QString::fromUtf8(PictureComposer::CaptionFor(kNewPictureMark, "/pictures/blue.jpg")));
  EXPECT_EQ(Rgb(shown, 0, 0), 0x00FFFFu);
  EXPECT_EQ(Rgb(shown, 1, band), 0x332211u);
  EXPECT_EQ(Rgb(shown, 59, 19), 0x332211u);
  EXPECT_EQ(Rgb(shown, 20, 19), kPicture);
  EXPECT_EQ(Rgb(shown, 60, 0), 0u);
}

TEST_F(PictureDisplayTest, CloseDuringATransitionStopsItAtTheNextStepAndStillAnswers) {
  WriteBlock(kRasterH, "");
  clock_.Hold();
  SendPicture();
  clock_.WaitForSleeps(1);  // the first column is shown; the reader sleeps out its step
  EXPECT_TRUE(display_.ReaderRunning());
  SendMessage(display_.Handle(), WM_CLOSE);
  clock_.Release();
  WaitForAnswers(1);
  display_.Shutdown();
  EXPECT_FALSE(display_.ReaderRunning());

  const QImage shown = display_.Buffers().ShownCopy();
  EXPECT_EQ(Rgb(shown, 0, 10), kPicture);
  for (int x = 1; x < 40; ++x) EXPECT_EQ(Rgb(shown, x, 10), 0u) << "column " << x;

  // Nothing is drawn any more once the display is ending; the main program still hears back.
  WriteBlock(kNoEffect, "");
  SendPicture();
  WaitForAnswers(2);
  display_.Shutdown();
  EXPECT_EQ(Rgb(display_.Buffers().ShownCopy(), 20, 10), 0u);
}

TEST_F(PictureDisplayTest, OtherNullMessagesAreIgnoredAndTheWindowIsFoundByClassAndTitle) {
  EXPECT_EQ(SendMessage(display_.Handle(), WM_NULL, 1, 5), 0);
  EXPECT_EQ(SendMessage(display_.Handle(), WM_NULL, 2, 5), 0);
  EXPECT_FALSE(display_.ReaderRunning());
  EXPECT_EQ(display_.MainWindow(), 0u);
  EXPECT_EQ(FindWindow(kSlideWindowClass, kSlideWindowTitle), display_.Handle());
}

}  // namespace
}  // namespace qlm
