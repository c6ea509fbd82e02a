// The picture rotation on a platform loop with a manual clock, showing pictures in a test display
// program: ticks, picture threads, failed loads, the queue across a restart, the panel's steps
// through the history, and the menu commands.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "picture/ChannelMessages.h"
#include "picture/PicturePanel.h"
#include "picture/PictureQueue.h"
#include "picture/PictureRotation.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/Messaging.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/picture/testdisplay/DisplayProcess.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::Display;
using test::DisplayLine;

constexpr int kInterval = 5;  // seconds each picture stays (PicChgInterval)

class PictureRotationTest : public testing::Test {
 protected:
  void SetUp() override {
    settings_.SetStored(AppText::PickupDir, dir_.Path() + "/Pickup/");
    settings_.SetStored(AppText::MirrorDir, dir_.Path() + "/Mirror/");
    settings_.SetStored(AppNumber::PickupDisplay, 2);
    settings_.SetStored(AppNumber::PicChgInterval, kInterval);
    settings_.SetStored(AppNumber::MUDrawType, 3);
    settings_.SetStored(AppNumber::MUDrawSpeed, 7);
    settings_.SetStored(AppNumber::BGColor, 0x112233);
    std::filesystem::create_directories(dir_.Path() + "/Pickup");
    ASSERT_TRUE(main_frame_.Create("QlmMainFrame", kMainFrameTitle));
    ASSERT_TRUE(main_frame_.Publish());
    main_frame_.SetHandler([this](Message& msg) -> LResult {
      if (rotation_) rotation_->HandleMessage(msg);
      return 0;
    });
    StartRotation();
  }
  void TearDown() override {
    if (rotation_) rotation_->Shutdown();
    rotation_.reset();
  }

  // A fresh queue object and rotation, as at a program start.
  void StartRotation() {
    rotation_.reset();
    queue_ = std::make_unique<PictureQueue>();
    ASSERT_EQ(queue_->Open(dir_.Path() + "/", prompt_), PictureQueue::OpenResult::kOpened);
    rotation_ = std::make_unique<PictureRotation>(main_frame_.Handle(), clock_, settings_, slides_,
                                                  *queue_);
    rotation_->SetPanelHost(
        [this](PictureRotation& rotation) { panel_ = std::make_unique<PicturePanel>(rotation); });
  }

  std::string Pickup(const std::string& name) const { return dir_.Path() + "/Pickup/" + name; }
  void PutPictures(int count) {
    for (int i = 0; i < count; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "p%02d.jpg", i);
      ASSERT_TRUE(test::WriteTestJpeg(Pickup(name), {.width = 8 + i, .height = 8}));
    }
  }
  void StartSlideWindow() {
    ASSERT_TRUE(slide_.Start(dir_.File("slide.log"), kSlideWindowClass, kSlideWindowTitle));
  }

  bool RunUntil(const std::function<bool()>& done) { return test::PumpUntil(loop_, done); }
  // Moves the clock and serves what came due, until the rotation is quiet again: no picture
  // thread runs (unless it waits at the panel gate) and no answer is due.
  void Advance(int ms) {
    clock_.Advance(ms);
    Settle();
  }
  void Settle() {
    loop_.RunPending();
    ASSERT_TRUE(RunUntil([&] {
      const bool thread_done = !rotation_->ThreadRunning() || rotation_->PanelOpen();
      return thread_done && !rotation_->Channel().SlideWindowPending();
    }));
    loop_.RunPending();
  }
  // The files the slide window has shown, by name.
  std::vector<std::string> Shown() const {
    std::vector<std::string> names;
    for (const DisplayLine& line : slide_.Lines()) {
      names.push_back(line[5].substr(line[5].rfind('/') + 1));
    }
    return names;
  }
  // Waits until the slide window has shown `count` pictures and the rotation is quiet.
  void WaitShown(std::size_t count) {
    ASSERT_TRUE(RunUntil([&] { return slide_.Lines().size() >= count; }));
    Settle();
    ASSERT_EQ(slide_.Lines().size(), count);
  }
  // A panel step: the thread waiting at the gate shows one picture, and the next one waits.
  void PanelStep(const std::function<void()>& press) {
    const std::size_t before = slide_.Lines().size();
    const int threads = rotation_->ThreadsStarted();
    press();
    WaitShown(before + 1);
    ASSERT_TRUE(RunUntil([&] { return rotation_->ThreadsStarted() > threads; }));
  }

  ManualClock clock_;
  EventLoop loop_{clock_};
  test::Watchdog dog_{std::chrono::seconds(90), loop_.Id()};
  test::TempDir dir_;
  test::ScriptedPrompt prompt_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  CSSDoc slides_;
  test::LambdaWindow main_frame_;
  std::unique_ptr<PictureQueue> queue_;
  std::unique_ptr<PictureRotation> rotation_;
  std::unique_ptr<PicturePanel> panel_;
  Display slide_;
};

TEST_F(PictureRotationTest, TickTakesARecordShowsItAndReArmsWithItsInterval) {
  PutPictures(2);
  StartSlideWindow();
  rotation_->ArmPictureTimer();  // as the slide window toggle does
  Advance(999);
  EXPECT_EQ(rotation_->ThreadsStarted(), 0);
  Advance(1);  // the first arming waits 1000 ms
  WaitShown(1);
  const DisplayLine first = slide_.Lines()[0];
  EXPECT_EQ(first[1], std::to_string(0x112233));
  EXPECT_EQ(first[2], "3");  // the effect
  EXPECT_EQ(first[3], "7");  // the step delay
  EXPECT_EQ(first[4], "");   // no mark
  EXPECT_EQ(first[5], Pickup("p01.jpg"));
  EXPECT_EQ(first[9], "9");  // its width: the picture itself reached the display
  EXPECT_EQ(first[13], std::to_string(main_frame_.Handle()));
  EXPECT_EQ(rotation_->CurrentPicturePath(), Pickup("p01.jpg"));
  EXPECT_EQ(rotation_->IntervalMs(), kInterval * 1000);
  EXPECT_FALSE(rotation_->Channel().HoldsBlock());

  Advance(kInterval * 1000 - 1);
  EXPECT_EQ(slide_.Lines().size(), 1u);
  Advance(1);
  WaitShown(2);
  // The pick-up folder is used up: the next tick refills and starts over.
  Advance(kInterval * 1000);
  WaitShown(3);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"p01.jpg", "p00.jpg", "p01.jpg"}));
  EXPECT_EQ(rotation_->History().Count(), 3u);
}

TEST_F(PictureRotationTest, FailedLoadsGoOnAfter1000Ms) {
  StartSlideWindow();
  const std::string good = Pickup("good.jpg");
  ASSERT_TRUE(test::WriteTestJpeg(good, {}));
  const std::string bytes = test::ReadFileBytes(good);
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("truncated.jpg"), bytes.substr(0, bytes.size() / 2)));
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("text.jpg"), "no picture"));
  PictureRecord base;
  base.interval = 30;
  queue_->Push(base.WithFile(good));
  queue_->Push(base.WithFile(dir_.File("truncated.jpg")));
  queue_->Push(base.WithFile(dir_.File("text.jpg")));

  rotation_->ArmPictureTimer();
  Advance(1000);
  for (int failed = 1; failed <= 2; ++failed) {
    SCOPED_TRACE(failed);
    EXPECT_EQ(rotation_->ThreadsStarted(), failed);
    EXPECT_TRUE(rotation_->Channel().LastLoadFailed());
    EXPECT_EQ(rotation_->IntervalMs(), 1000);
    Advance(999);
    EXPECT_EQ(rotation_->ThreadsStarted(), failed);
    Advance(1);
  }
  WaitShown(1);
  EXPECT_EQ(Shown(), std::vector<std::string>{"good.jpg"});
  EXPECT_EQ(rotation_->IntervalMs(), 30000);
  EXPECT_FALSE(rotation_->Channel().LastLoadFailed());
}

TEST_F(PictureRotationTest, PickupOnlyWithAnEmptyFolderFailsEverySecondUntilAPictureComes) {
  StartSlideWindow();
  rotation_->ArmPictureTimer();
  Advance(1000);
  EXPECT_EQ(rotation_->ThreadsStarted(), 1);
  EXPECT_TRUE(rotation_->Channel().LastLoadFailed());
  Advance(1000);
  EXPECT_EQ(rotation_->ThreadsStarted(), 2);
  PutPictures(1);
  Advance(1000);
  WaitShown(1);

  // Nothing to refill from at all (general pictures only, no slide-show list): the tick looks
  // again a second later without starting a picture thread.
  settings_.SetStored(AppNumber::PickupDisplay, 0);
  const int threads = rotation_->ThreadsStarted();
  for (int i = 0; i < 3; ++i) Advance(kInterval * 1000);
  EXPECT_EQ(rotation_->ThreadsStarted(), threads);
  EXPECT_TRUE(rotation_->TimerArmed());
  EXPECT_EQ(rotation_->IntervalMs(), PictureRotation::kEmptyRetryMs);
}

TEST_F(PictureRotationTest, QueueSurvivesARestartAndGoesOnWhereItWas) {
  PutPictures(3);
  StartSlideWindow();
  rotation_->ArmPictureTimer();
  Advance(1000);
  WaitShown(1);
  // The program ends with two pictures still queued.
  rotation_->Shutdown();
  StartRotation();
  EXPECT_EQ(queue_->Count(), 2u);
  rotation_->ArmPictureTimer();
  Advance(1000);
  WaitShown(2);
  Advance(kInterval * 1000);
  WaitShown(3);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"p02.jpg", "p01.jpg", "p00.jpg"}));
}

TEST_F(PictureRotationTest, PanelStepsBackAndForthWithoutEffectThenTheRotationGoesOn) {
  PutPictures(3);
  StartSlideWindow();
  rotation_->ArmPictureTimer();
  Advance(1000);
  WaitShown(1);
  Advance(kInterval * 1000);
  WaitShown(2);  // p02, p01 shown; p00 still queued

  // The slide window asks for the panel; the armed timer fires at once and its picture thread
  // waits at the gate.
  ASSERT_TRUE(PostMessage(main_frame_.Handle(), WM_OPEN_PICTURE_PANEL));
  ASSERT_TRUE(RunUntil([&] { return panel_ != nullptr && rotation_->ThreadRunning(); }));
  EXPECT_TRUE(rotation_->PanelOpen());
  EXPECT_EQ(slide_.Lines().size(), 2u);
  EXPECT_TRUE(panel_->PrevEnabled());
  // A second request while the panel is open is ignored.
  EXPECT_FALSE(rotation_->OpenPanel());

  // "Prev" on the second picture since the start shows the first and disables itself.
  PanelStep([&] { panel_->Prev(); });
  EXPECT_FALSE(panel_->PrevEnabled());
  // "Next" shows the second again and enables "Prev"; another "Next" goes on to p00.
  PanelStep([&] { panel_->Next(); });
  EXPECT_TRUE(panel_->PrevEnabled());
  PanelStep([&] { panel_->Next(); });
  EXPECT_EQ(Shown(),
            (std::vector<std::string>{"p02.jpg", "p01.jpg", "p02.jpg", "p01.jpg", "p00.jpg"}));
  for (std::size_t i = 2; i < 5; ++i) EXPECT_EQ(slide_.Lines()[i][2], "0") << i;  // no effect

  // "OK": the waiting thread shows the next picture with its effect, then the normal interval.
  const int threads = rotation_->ThreadsStarted();
  panel_->Ok();
  EXPECT_FALSE(rotation_->PanelOpen());
  WaitShown(6);
  EXPECT_EQ(slide_.Lines()[5][2], "3");
  EXPECT_EQ(rotation_->ThreadsStarted(), threads);
  Advance(kInterval * 1000 - 1);
  EXPECT_EQ(slide_.Lines().size(), 6u);
  Advance(1);
  WaitShown(7);
}

TEST_F(PictureRotationTest, HistoryKeepsTwentySoPrevGoesBackNineteenTimes) {
  PutPictures(25);
  StartSlideWindow();
  rotation_->ArmPictureTimer();
  Advance(1000);
  WaitShown(1);
  for (std::size_t shown = 2; shown <= 21; ++shown) {
    Advance(kInterval * 1000);
    WaitShown(shown);
  }
  EXPECT_EQ(rotation_->History().Count(), 20u);
  ASSERT_TRUE(rotation_->OpenPanel());
  ASSERT_TRUE(RunUntil([&] { return rotation_->ThreadRunning(); }));
  int steps = 0;
  while (panel_->PrevEnabled()) {
    PanelStep([&] { panel_->Prev(); });
    ++steps;
  }
  EXPECT_EQ(steps, 19);
  EXPECT_EQ(rotation_->History().Count(), 1u);
  // The last picture reached is the oldest one the history kept: the second shown.
  const std::vector<std::string> shown = Shown();
  EXPECT_EQ(shown.back(), shown[1]);
  panel_->Ok();
  WaitShown(21 + 19 + 1);
}

TEST_F(PictureRotationTest, PickupButtonKeepsAPictureOrDeletesOneAlreadyKept) {
  ASSERT_TRUE(test::WriteTestJpeg(dir_.File("elsewhere.jpg"), {}));
  PutPictures(2);
  StartSlideWindow();
  PictureRecord record;
  record.interval = 5;
  queue_->Push(record.WithFile(dir_.File("elsewhere.jpg")));
  rotation_->ArmPictureTimer();
  Advance(1000);
  WaitShown(1);
  ASSERT_TRUE(rotation_->OpenPanel());
  EXPECT_FALSE(panel_->CurrentInPickupFolder());
  EXPECT_FALSE(panel_->PrevEnabled());
  // Kept: copied into the pick-up folder, replacing a file of the same name.
  ASSERT_TRUE(test::WriteFileBytes(Pickup("elsewhere.jpg"), "old"));
  EXPECT_EQ(panel_->Pickup(), PicturePanel::Result::kCopied);
  EXPECT_EQ(test::ReadFileBytes(Pickup("elsewhere.jpg")),
            test::ReadFileBytes(dir_.File("elsewhere.jpg")));
  // Copy refuses to replace what the chosen folder holds.
  EXPECT_EQ(panel_->Copy(dir_.Path()), PicturePanel::Result::kExists);
  std::filesystem::create_directories(dir_.File("chosen"));
  EXPECT_EQ(panel_->Copy(dir_.File("chosen")), PicturePanel::Result::kCopied);
  EXPECT_TRUE(std::filesystem::exists(dir_.File("chosen/elsewhere.jpg")));

  PanelStep([&] { panel_->Next(); });  // the pick-up folder's p01
  ASSERT_TRUE(panel_->CurrentInPickupFolder());
  EXPECT_EQ(rotation_->History().Count(), 2u);
  // Deleted, and the panel steps back to the picture before it.
  PanelStep([&] { EXPECT_EQ(panel_->Pickup(), PicturePanel::Result::kDeleted); });
  EXPECT_FALSE(std::filesystem::exists(Pickup("p01.jpg")));
  EXPECT_EQ(Shown().back(), "elsewhere.jpg");
  panel_->Ok();
}

TEST_F(PictureRotationTest, ResetIsForRestingRotationsAndPickupDisplayIsStoredAtOnce) {
  PutPictures(2);
  EXPECT_TRUE(rotation_->CanResetSlideShow());
  StartSlideWindow();
  EXPECT_FALSE(rotation_->CanResetSlideShow());
  rotation_->Channel().SetWallpaperChangerOn(true);
  EXPECT_TRUE(rotation_->AnyDisplayActive());
  rotation_->Channel().SetWallpaperChangerOn(false);

  rotation_->ArmPictureTimer();
  Advance(1000);
  WaitShown(1);
  EXPECT_EQ(queue_->Count(), 1u);
  EXPECT_TRUE(rotation_->ResetSlideShow());
  EXPECT_TRUE(queue_->IsEmpty());
  EXPECT_EQ(rotation_->History().Count(), 0u);

  EXPECT_TRUE(rotation_->SetPickupDisplay(0));
  EXPECT_FALSE(rotation_->SetPickupDisplay(3));
  EXPECT_EQ(rotation_->PickupDisplay(), 0);
  AppSettings reread(Profile(dir_.File("settings.ini")), dir_.Path() + "/");
  reread.Read();
  EXPECT_EQ(reread.Number(AppNumber::PickupDisplay), 0);
}

TEST_F(PictureRotationTest, ShutdownReleasesAThreadHeldAtThePanelGate) {
  PutPictures(1);
  StartSlideWindow();
  rotation_->ArmPictureTimer();
  Advance(1000);
  WaitShown(1);
  ASSERT_TRUE(rotation_->OpenPanel());
  ASSERT_TRUE(RunUntil([&] { return rotation_->ThreadRunning(); }));
  rotation_->Shutdown();
  EXPECT_FALSE(rotation_->ThreadRunning());
  EXPECT_FALSE(rotation_->TimerArmed());
  Advance(60000);
  EXPECT_EQ(slide_.Lines().size(), 1u);
}

}  // namespace
}  // namespace qlm
