// The main frame's own duties on the offscreen platform: the dial-up pane as the frame's runtime
// window receives the notices, the shutdown switch at start, the tray menu, the closing rule while
// a patrol runs, and the stored placement.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStatusBar>
#include <QStringList>
#include <chrono>
#include <string>
#include <thread>

#include "app/FrameDuties.h"
#include "app/gui/CMainFrame.h"
#include "app/gui/MainFrameServices.h"
#include "app/gui/ProjectWindows.h"
#include "app/gui/dialogs/DialogKit.h"
#include "picture/display/QtMessageLoop.h"
#include "platform/ManualClock.h"
#include "platform/Messaging.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

// Project windows as the frame sees them, with one project patrolling or none.
class OneProject final : public ProjectWindows {
 public:
  bool patrolling = false;
  int refreshed = 0;
  bool IsPatrolling(const std::string&) const override { return patrolling; }
  bool AnyPatrolling() const override { return patrolling; }
  bool Activate(const std::string&) override { return true; }
  void PatrolTimerEntry(const TimerEntry&) override {}
  void StopActivePatrol() override {}
  void RefreshViews() override { ++refreshed; }
};

class MainFrameDutiesTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(frame_.Create()); }
  void TearDown() override { frame_.Destroy(); }

  // Serves the frame's runtime window until `done` holds.
  template <typename Done>
  bool ServeUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  ManualClock clock_;
  QtMessageLoop loop_{clock_};
  test::TempDir dir_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  CSSDoc slides_;
  test::ScriptedPrompt prompt_;
  CMainFrame frame_{settings_, slides_, prompt_};
};

TEST_F(MainFrameDutiesTest, DialupNoticesPostedToTheFrameShowInTheirPane) {
  const std::pair<int, int> notices[] = {{0, 0}, {5, 0}, {8192, 0}, {18, 0}, {0, 676}};
  const char* const expected[] = {"ダイアル中", "認証中", "ダイアルアップ接続中",
                                  "ダイアルアップ接続中", "回線が使用中です"};
  for (std::size_t i = 0; i < std::size(notices); ++i) {
    // From another thread, as the dial-up manager's notices come.
    std::thread([&] {
      PostMessage(frame_.Handle(), kMsgDialupState, notices[i].first, notices[i].second);
    }).join();
    ASSERT_TRUE(ServeUntil([&] { return frame_.Services().DialupPaneText() == Utf8(expected[i]); }))
        << expected[i];
  }
  EXPECT_EQ(frame_.findChild<QWidget*>("dialup")->width(), MainFrameServices::kDialupPaneWidth);
}

TEST_F(MainFrameDutiesTest, ShutdownSwitchIsOffAtStartAndFollowsItsButton) {
  EXPECT_FALSE(frame_.Services().Shutdown().On());
  EXPECT_FALSE(frame_.Services().ShutdownAction().isChecked());
  EXPECT_FALSE(frame_.Services().ShutdownAction().toolTip().isEmpty());
  frame_.Services().ShutdownAction().trigger();
  EXPECT_TRUE(frame_.Services().Shutdown().On());
}

TEST_F(MainFrameDutiesTest, TrayMenuListsItsCommandsAndEndsWithQuit) {
  QStringList texts;
  for (QAction* action : frame_.TrayMenu().actions()) {
    if (!action->isSeparator()) texts << action->text();
  }
  EXPECT_EQ(texts, (QStringList{Utf8("ウィンドウを表示"), Utf8("巡回タイマー ON"),
                                Utf8("壁紙チェンジャー ON"), Utf8("小窓で画像表示"), Utf8("ヘルプ"),
                                Utf8("終了")}));
  // "巡回タイマー ON" writes the switch at once.
  frame_.UpdateMenus();
  QAction* timers = frame_.TrayMenu().actions()[1];
  EXPECT_TRUE(timers->isChecked());
  timers->trigger();
  EXPECT_EQ(
      Profile(dir_.File("settings.ini")).GetProfileInt(AppSettings::kSection, "TimerValid", 9), 0);
  frame_.UpdateMenus();
  EXPECT_FALSE(timers->isChecked());
}

TEST_F(MainFrameDutiesTest, ClosingWaitsForThePatrolAndThePlacementIsKept) {
  OneProject projects;
  projects.patrolling = true;
  ASSERT_TRUE(frame_.Services().AttachProjectWindows(projects));
  frame_.CloseProgram();  // refused, and the user is told why
  ASSERT_EQ(prompt_.messages.size(), 1u);
  EXPECT_EQ(prompt_.messages[0],
            "現在巡回を実行中です。\n巡回を終了させてからアプリケーションを終了して下さい。");
  projects.patrolling = false;

  frame_.setGeometry(40, 50, 500, 300);
  frame_.Services().SavePlacement();
  const std::string stored = Profile(dir_.File("settings.ini"))
                                 .GetProfileString(MainFrameServices::kSettingsSection,
                                                   MainFrameServices::kPlacementName, "");
  const std::optional<WindowPlacement> placement = WindowPlacement::Parse(stored);
  ASSERT_TRUE(placement) << stored;
  EXPECT_EQ(placement->right - placement->left, 500);
  EXPECT_EQ(placement->bottom - placement->top, 300);
  EXPECT_FALSE(Profile(dir_.File("settings.ini"))
                   .GetProfileString(MainFrameServices::kBarSection, "State", "")
                   .empty());
}

TEST(MainFrameFirstShowTest, TheStoredPlacementCountsOnlyWhenWhole) {
  struct Row {
    const char* question;
    const char* stored;
    QRect expected;  // empty: the frame's own size
  };
  const Row rows[] = {{"Ten numbers: the normal rectangle is used?",
                       "0:1:-1:-1:-1:-1:30:40:530:340", QRect(30, 40, 500, 300)},
                      {"Nine numbers: ignored?", "0:1:-1:-1:-1:-1:30:40:530", QRect()}};
  for (const Row& row : rows) {
    ManualClock clock;
    QtMessageLoop loop{clock};
    test::TempDir dir;
    AppSettings settings{Profile(dir.File("settings.ini")), dir.Path() + "/"};
    ASSERT_TRUE(settings.GetProfile().WriteProfileString(
        MainFrameServices::kSettingsSection, MainFrameServices::kPlacementName, row.stored));
    CSSDoc slides;
    test::ScriptedPrompt prompt;
    CMainFrame frame(settings, slides, prompt);
    ASSERT_TRUE(frame.Create());
    const QSize own = frame.size();
    frame.ToggleWindow();
    if (row.expected.isEmpty()) {
      EXPECT_EQ(frame.size(), own) << row.question;
    } else {
      EXPECT_EQ(frame.geometry().size(), row.expected.size()) << row.question;
    }
    frame.Destroy();
  }
}

}  // namespace
}  // namespace qlm
