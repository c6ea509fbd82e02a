// The main frame's duties that need no window: the dial-up pane's texts, the shutdown switch, the
// stored window placement and the patrol timers' lock.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/FrameDuties.h"
#include "app/TimerLock.h"
#include "net/RasCodes.h"

namespace qlm {
namespace {

TEST(DialupPaneTest, EachNoticeShowsItsText) {
  struct Row {
    const char* question;
    int state, error;
    std::optional<std::string> text;
  };
  const Row rows[] = {
      {"Opening the port?", RASCS_OpenPort, 0, "ダイアル中"},
      {"Authenticating (5)?", RASCS_Authenticate, 0, "認証中"},
      {"Starting authentication (19)?", RASCS_StartAuthentication, 0, "認証中"},
      {"Network logon?", RASCS_LogonNetwork, 0, "ログオン中"},
      {"Connected?", RASCS_Connected, 0, "ダイアルアップ接続中"},
      {"Disconnected?", RASCS_Disconnected, 0, "ダイアルアップ未接続"},
      {"Another state keeps the text?", RASCS_Projected, 0, std::nullopt},
      {"629, whatever the state?", RASCS_Connected, 629, "接続先から接続を切断されました"},
      {"630?", 0, 630, "モデムの反応がありません"},
      {"676?", 0, 676, "回線が使用中です"},
      {"680?", 0, 680, "ダイアルトーンが検出できません"},
      {"Any other error, a negative one too?", 0, -1, "予期せぬエラーが発生しました"},
      {"No back end (711)?", 0, ERROR_RASMAN_CANNOT_INITIALIZE, "予期せぬエラーが発生しました"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DialupPaneText(row.state, row.error), row.text) << row.question;
  }
}

TEST(ShutdownSwitchTest, PowersOffOnlyWhenOnAndNoPatrolRunsAndTellsWhyWhenRefused) {
  struct Row {
    const char* question;
    bool on;
    bool patrolling;
    int exit_code;
    const char* output;
    bool runs;
    bool ok;
    std::string failure;
  };
  const Row rows[] = {
      {"Off (as at every start): nothing runs?", false, false, 0, "", false, true, ""},
      {"On, a patrol still runs: nothing yet?", true, true, 0, "", false, true, ""},
      {"On, last patrol ended: systemctl poweroff?", true, false, 0, "", true, true, ""},
      {"Refused by policy: the reason is kept?", true, false, 1,
       "Failed to power off system via logind: Access denied\n", true, false,
       "Failed to power off system via logind: Access denied"},
      {"Refused silently: the exit code is told?", true, false, 4, "", true, false,
       "systemctl poweroff ended with exit code 4"},
      {"No systemctl at all?", true, false, -1, "", true, false,
       "systemctl poweroff could not be run"},
  };
  for (const Row& row : rows) {
    std::vector<std::vector<std::string>> ran;
    ShutdownSwitch shutdown([&](const std::vector<std::string>& argv, std::string* output) {
      ran.push_back(argv);
      *output = row.output;
      return row.exit_code;
    });
    EXPECT_FALSE(shutdown.On()) << row.question;
    if (row.on) shutdown.Toggle();
    EXPECT_EQ(shutdown.PatrolEnded(row.patrolling), row.ok) << row.question;
    EXPECT_EQ(ran.size(), row.runs ? 1u : 0u) << row.question;
    if (row.runs) {
      EXPECT_EQ(ran[0], ShutdownSwitch::Command()) << row.question;
    }
    EXPECT_EQ(shutdown.Failure(), row.failure) << row.question;
  }
}

TEST(WindowPlacementTest, OnlyTenReadableNumbersCount) {
  WindowPlacement p;
  p.flags = WindowPlacement::kRestoreToMaximized;
  p.show = WindowPlacement::kShowMaximized;
  p.left = 10;
  p.top = 20;
  p.right = 650;
  p.bottom = 500;
  EXPECT_EQ(p.Format(), "2:3:-1:-1:-1:-1:10:20:650:500");
  const std::optional<WindowPlacement> back = WindowPlacement::Parse(p.Format());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Format(), p.Format());
  for (const char* broken : {"", "1:2:3", "1:2:3:4:5:6:7:8:9", "a:1:2:3:4:5:6:7:8:9"}) {
    EXPECT_FALSE(WindowPlacement::Parse(broken)) << broken;
  }
}

TEST(TimerLockTest, ASecondHolderLearnsWhoHasTheTimers) {
  TimerLock first;
  ASSERT_TRUE(first.Take("QLM (desktop), pid 1"));
  TimerLock second;
  EXPECT_FALSE(second.Take("QLM --timers, pid 2"));
  EXPECT_EQ(TimerLock::HolderText(), "QLM (desktop), pid 1");
}

}  // namespace
}  // namespace qlm
