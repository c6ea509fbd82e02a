// The desktop program's dialogs as a person reaches them: QLM runs as built on a private X server
// and the settings sheet and the two lists are opened from its menus with the keyboard. Set
// QLM_SCREENSHOT_DIR to keep the screenshots.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "picture/ChannelMessages.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "tests/support/TempHome.h"
#include "tests/xvfb/GuiProgram.h"
#include "tests/xvfb/XvfbServer.h"

namespace qlm {
namespace {

using test::WaitUntil;

class SettingsXvfbTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = test::XvfbServer::MissingTool();
    if (!missing.empty()) {
      GTEST_SKIP() << missing << " is not installed: the programs cannot be tried under X";
    }
    ASSERT_TRUE(server_.Start(1024, 768));
    home_.Export();
    // The program shows its frame itself: there is no notification area on this server.
    ASSERT_TRUE(qlm_.Start("QLM"));
    ASSERT_TRUE(WaitUntil([] { return test::FindXWindow(kMainFrameTitle) != 0; }, 15000))
        << qlm_.Output();
  }
  void TearDown() override {
    if (HasFailure()) ADD_FAILURE() << "program output:\n" << qlm_.Output();
  }

  // Keys to the frame, then waits for a window of this title.
  bool Open(const std::string& keys, const std::string& title) {
    test::RunCommand("xdotool windowfocus " + std::to_string(test::FindXWindow(kMainFrameTitle)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    test::PressKeys(keys);
    return WaitUntil([&] { return test::FindXWindow(title) != 0; }, 10000);
  }
  bool Gone(const std::string& title) {
    return WaitUntil([&] { return test::FindXWindow(title) == 0; }, 10000);
  }

  test::XvfbServer server_;
  test::TempHome home_;
  test::GuiProgram qlm_;
};

TEST_F(SettingsXvfbTest, SheetAndListsOpenFromTheMenusAndOnlyOkWritesTheSettings) {
  const auto retries = [] {
    return Profile().GetProfileInt(AppSettings::kSection, "DialRetry", -99);
  };
  ASSERT_TRUE(Open("alt+t Return", "Quillmere Property"));
  server_.Shot("xvfb-settings-sheet");
  test::PressKeys("Escape");
  ASSERT_TRUE(Gone("Quillmere Property"));
  EXPECT_EQ(retries(), -99) << "cancel writes nothing";

  ASSERT_TRUE(Open("alt+t Return", "Quillmere Property"));
  test::PressKeys("Return");
  ASSERT_TRUE(Gone("Quillmere Property"));
  EXPECT_TRUE(WaitUntil([&] { return retries() == 2; }, 5000)) << "OK writes every value";

  ASSERT_TRUE(Open("alt+t Down Down Return", "タイマーの一覧"));
  server_.Shot("xvfb-timer-list");
  test::PressKeys("Escape");
  ASSERT_TRUE(Gone("タイマーの一覧"));

  ASSERT_TRUE(Open("alt+s Up Return", "スライドショウ一覧"));
  server_.Shot("xvfb-slide-list");
  test::PressKeys("Escape");
  ASSERT_TRUE(Gone("スライドショウ一覧"));
  EXPECT_TRUE(qlm_.Running());
}

}  // namespace
}  // namespace qlm
