// Where the desktop cannot have a window of ours: the receiver that makes each picture the
// wallpaper while it answers the channel as a display does.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/gui/desktop/DesktopReceivers.h"
#include "app/gui/desktop/PictureWallpaper.h"
#include "app/gui/desktop/WallpaperBackends.h"
#include "picture/ChannelMessages.h"
#include "picture/JpegLoader.h"
#include "picture/PictureChannel.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/Messaging.h"
#include "tests/desktop/FakeCommandRunner.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

class NoTimer final : public PictureTimerControl {
 public:
  void SetPictureInterval(int) override {}
  void ArmPictureTimer() override {}
  void StopPictureTimer() override {}
  bool PictureTimerArmed() const override { return false; }
};

TEST(WallpaperDesktopReceiverTest, EachPictureBecomesTheWallpaperAndIsAnswered) {
  test::TempHome home;
  home.Export();
  test::TempDir dir;
  const std::string jpeg = dir.File("p.jpg");
  ASSERT_TRUE(test::WriteTestJpeg(jpeg, {.width = 11, .height = 6}));

  ManualClock clock;
  EventLoop loop(clock);
  test::LambdaWindow main_frame;
  ASSERT_TRUE(main_frame.Create("QlmMainFrame", kMainFrameTitle));
  NoTimer timer;
  PictureChannel channel(main_frame.Handle(), timer, clock);
  test::FakeCommandRunner runner;
  PictureWallpaper wallpaper(dir.Path() + "/", std::make_unique<FehWallpaper>(), runner);
  WallpaperDesktopReceiver receiver(wallpaper);
  EXPECT_EQ(receiver.Description(), "壁紙チェンジャー: 壁紙を画像ごとに設定 (feh)");

  ASSERT_TRUE(receiver.Start(main_frame.Handle()));
  loop.RunPending();
  ASSERT_EQ(main_frame.Count(WM_DESKTOP_APPEARED), 1);
  const Hwnd desktop = static_cast<Hwnd>(main_frame.Received().back().lparam);
  channel.SetDesktopDisplay(desktop);
  channel.SetWallpaperChangerOn(true);

  std::optional<PackedBitmap> bitmap = JpegLoader().Load(jpeg, 0, 1, 0);
  ASSERT_TRUE(bitmap);
  ASSERT_TRUE(channel.CopyIntoBlock(PictureHeader{0, 0, 0, "", jpeg, "", ""}, *bitmap));
  // The picture thread sends; this thread serves the desktop window it sends to.
  auto sent = std::async(std::launch::async, [&] { return channel.SendToDisplays(); });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (main_frame.Count(WM_PICTURE_SHOWN) == 0 && std::chrono::steady_clock::now() < end) {
    loop.RunFor(5);
  }
  EXPECT_EQ(sent.get(), 1);
  ASSERT_EQ(main_frame.Count(WM_PICTURE_SHOWN), 1);
  EXPECT_EQ(static_cast<Hwnd>(main_frame.Received().back().lparam), desktop);
  EXPECT_EQ(receiver.PicturesSet(), 1);
  ASSERT_EQ(runner.commands.size(), 1u);
  EXPECT_EQ(runner.commands[0][0], "feh");
  EXPECT_EQ(test::ReadFileBytes(wallpaper.FilePath()).size(), 14u + bitmap->Size());

  // The stop lets the desktop go at once: the wallpaper keeps the last picture.
  LResult ignored = 0;
  ASSERT_TRUE(TrySendMessage(desktop, MSG_DESKTOP_STOP, kDesktopStopWParam,
                             static_cast<LParam>(main_frame.Handle()), &ignored));
  loop.RunPending();
  EXPECT_EQ(main_frame.Count(WM_DESKTOP_RELEASED), 1);
}

}  // namespace
}  // namespace qlm
