// The wallpaper changer's switch: on, off, the stopping state, the picture timer's rules and the
// close that waits for the release, against a scripted desktop receiver in this process.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "picture/ChannelMessages.h"
#include "picture/PictureChannel.h"
#include "picture/WallpaperChanger.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/Messaging.h"
#include "tests/picture/testdisplay/DisplayProcess.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::LambdaWindow;

class CountingTimer final : public PictureTimerControl {
 public:
  void SetPictureInterval(int) override {}
  void ArmPictureTimer() override {
    ++arms;
    armed = true;
  }
  void StopPictureTimer() override {
    ++stops;
    armed = false;
  }
  bool PictureTimerArmed() const override { return armed; }
  int arms = 0;
  int stops = 0;
  bool armed = false;
};

// A desktop receiver whose window shows up when started and lets the desktop go only when the
// test says so.
struct Script {
  bool starts = true;
  int started = 0;
  int stops_seen = 0;
  Hwnd stop_lparam = 0;
  LambdaWindow* window = nullptr;  // the current receiver's
};

class ScriptedReceiver final : public DesktopReceiver {
 public:
  explicit ScriptedReceiver(Script& script) : script_(script) {}
  ~ScriptedReceiver() override {
    if (script_.window == &window_) script_.window = nullptr;
  }
  bool Start(Hwnd main_frame) override {
    if (!script_.starts) return false;
    ++script_.started;
    window_.SetHandler([this](Message& msg) -> LResult {
      if (msg.message == MSG_DESKTOP_STOP && msg.wparam == kDesktopStopWParam) {
        ++script_.stops_seen;
        script_.stop_lparam = static_cast<Hwnd>(msg.lparam);
      }
      return 0;
    });
    if (!window_.Create("ScriptedDesktop")) return false;
    script_.window = &window_;
    return PostMessage(main_frame, WM_DESKTOP_APPEARED, 0, static_cast<LParam>(window_.Handle()));
  }
  std::string Description() const override { return "scripted"; }

 private:
  Script& script_;
  LambdaWindow window_;
};

class WallpaperChangerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(main_frame_.Create("QlmMainFrame", kMainFrameTitle));
    ASSERT_TRUE(main_frame_.Publish());
    channel_ = std::make_unique<PictureChannel>(main_frame_.Handle(), timer_, clock_);
    changer_ = std::make_unique<WallpaperChanger>(
        main_frame_.Handle(), *channel_, timer_, [this]() -> std::unique_ptr<DesktopReceiver> {
          if (no_receiver_) return nullptr;
          return std::make_unique<ScriptedReceiver>(script_);
        });
    main_frame_.SetHandler([this](Message& msg) -> LResult {
      changer_->HandleMessage(msg);
      return 0;
    });
  }
  void Serve() { loop_.RunPending(); }
  void Release() {
    PostMessage(main_frame_.Handle(), WM_DESKTOP_RELEASED);
    Serve();
  }

  ManualClock clock_;
  EventLoop loop_{clock_};
  LambdaWindow main_frame_;
  CountingTimer timer_;
  Script script_;
  bool no_receiver_ = false;
  std::unique_ptr<PictureChannel> channel_;
  std::unique_ptr<WallpaperChanger> changer_;
};

using State = WallpaperChanger::State;

TEST_F(WallpaperChangerTest, OffOnStoppingOffAndNothingWhileStopping) {
  ASSERT_TRUE(changer_->Toggle());
  Serve();
  EXPECT_EQ(changer_->CurrentState(), State::kOn);
  EXPECT_TRUE(changer_->Checked());
  EXPECT_TRUE(channel_->WallpaperChangerOn());
  ASSERT_NE(script_.window, nullptr);
  EXPECT_EQ(channel_->DesktopDisplay(), script_.window->Handle());  // it registered
  EXPECT_EQ(timer_.arms, 1);  // no other display: the rotation starts for the desktop
  EXPECT_EQ(changer_->Description(), "scripted");

  ASSERT_TRUE(changer_->Toggle());
  EXPECT_EQ(changer_->CurrentState(), State::kStopping);
  EXPECT_FALSE(changer_->Checked());
  EXPECT_FALSE(changer_->CommandEnabled());
  EXPECT_FALSE(channel_->WallpaperChangerOn());
  EXPECT_EQ(timer_.stops, 1);
  EXPECT_EQ(script_.stops_seen, 1);
  EXPECT_EQ(script_.stop_lparam, main_frame_.Handle());

  // On again before the release: nothing at all.
  changer_->Toggle();
  changer_->SwitchOn();
  Serve();
  EXPECT_EQ(changer_->CurrentState(), State::kStopping);
  EXPECT_EQ(script_.started, 1);
  EXPECT_EQ(timer_.arms, 1);

  Release();
  EXPECT_EQ(changer_->CurrentState(), State::kOff);
  EXPECT_TRUE(changer_->CommandEnabled());
  EXPECT_EQ(channel_->DesktopDisplay(), 0u);
  EXPECT_EQ(script_.window, nullptr);  // the receiver is gone with the release
  // A second release, or one while off, changes nothing.
  Release();
  EXPECT_EQ(changer_->CurrentState(), State::kOff);

  ASSERT_TRUE(changer_->Toggle());
  Serve();
  EXPECT_EQ(changer_->CurrentState(), State::kOn);
  EXPECT_EQ(script_.started, 2);
}

TEST_F(WallpaperChangerTest, ClosingWhileOnWaitsForTheRelease) {
  EXPECT_FALSE(changer_->CloseAfterRelease()) << "off: the window closes at once";
  ASSERT_TRUE(changer_->SwitchOn());
  Serve();
  ASSERT_TRUE(changer_->CloseAfterRelease());
  EXPECT_EQ(changer_->CurrentState(), State::kStopping);
  Serve();
  EXPECT_EQ(main_frame_.Count(WM_CLOSE), 0);
  Release();
  EXPECT_EQ(changer_->CurrentState(), State::kOff);
  Serve();
  EXPECT_EQ(main_frame_.Count(WM_CLOSE), 1);
  EXPECT_FALSE(changer_->ClosesAfterRelease());
}

TEST_F(WallpaperChangerTest, TheTimerIsLeftToOtherDisplaysThatRunTheRotation) {
  test::TempDir dir;
  test::Display slide;
  ASSERT_TRUE(slide.Start(dir.File("slide.log"), kSlideWindowClass, kSlideWindowTitle));
  ASSERT_TRUE(changer_->SwitchOn());
  Serve();
  EXPECT_EQ(timer_.arms, 0) << "the slide window runs the rotation already";
  changer_->SwitchOff();
  EXPECT_EQ(timer_.stops, 0) << "the slide window still needs it";
  Release();
  PostMessage(slide.hwnd, WM_CLOSE);
  EXPECT_EQ(slide.process.Wait(10000), 0);
}

TEST_F(WallpaperChangerTest, ReceiversThatCannotStartOrVanishLeaveTheChangerOff) {
  no_receiver_ = true;
  EXPECT_FALSE(changer_->Toggle());
  EXPECT_TRUE(changer_->LastFailureNoReceiver());
  no_receiver_ = false;
  script_.starts = false;
  EXPECT_FALSE(changer_->Toggle());
  EXPECT_FALSE(changer_->LastFailureNoReceiver());
  EXPECT_EQ(changer_->CurrentState(), State::kOff);
  EXPECT_FALSE(channel_->WallpaperChangerOn());
  EXPECT_EQ(timer_.arms, 0);

  // A receiver whose window goes away unasked (it crashed) counts as released.
  script_.starts = true;
  ASSERT_TRUE(changer_->Toggle());
  Serve();
  EXPECT_FALSE(changer_->CheckReceiver());
  script_.window->Destroy();
  EXPECT_TRUE(changer_->CheckReceiver());
  EXPECT_EQ(changer_->CurrentState(), State::kOff);
  EXPECT_FALSE(channel_->WallpaperChangerOn());
  EXPECT_EQ(timer_.stops, 1);

  // Switched off before its window showed up: released at once, not stuck in stopping.
  ASSERT_TRUE(changer_->Toggle());
  changer_->SwitchOff();
  Serve();
  EXPECT_EQ(changer_->CurrentState(), State::kOff);
}

}  // namespace
}  // namespace qlm
