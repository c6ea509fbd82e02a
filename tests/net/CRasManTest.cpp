// The dial-up manager with a scripted connection back end, on a manual clock: who is told what,
// when a dial starts, when the line is hung up, and how a busy line is redialled.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/CRasMan.h"
#include "net/RasCodes.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/Messaging.h"
#include "platform/MonotonicClock.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/ScriptedDialBackend.h"
#include "tests/support/TempHome.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using Notice = std::pair<int, std::int64_t>;  // (state, error)
using Notices = std::vector<Notice>;

constexpr std::string_view kUnexpectedError =
    "\x97\x5C\x8A\xFA\x82\xB9\x82\xCA\x83\x47\x83\x89\x81\x5B\x82\xAA\x94\xAD\x90\xB6\x82\xB5\x82"
    "\xDC\x82\xB5\x82\xBD";  // 予期せぬエラーが発生しました

Notices NoticesOf(const LambdaWindow& window) {
  Notices notices;
  for (const auto& seen : window.Received()) {
    if (seen.message == CRasMan::kNoticeMessage) {
      notices.emplace_back(static_cast<int>(seen.wparam), seen.lparam);
    }
  }
  return notices;
}

class RasManTest : public testing::Test {
 protected:
  RasManTest() {
    for (auto* window : {&owner_, &a_, &b_}) {
      const std::string name = window == &owner_ ? "owner" : window == &a_ ? "a" : "b";
      window->SetHandler([this, name](Message& msg) {
        if (msg.message == CRasMan::kNoticeMessage) order_.push_back(name);
        return 0;
      });
      window->Create();
    }
    EXPECT_TRUE(ras_.Create(owner_.Handle()));
    ras_.SetSettings(DialSettings{"office", 2, "stored-pw"});
  }

  void Pump() { loop_.RunPending(); }
  // Moves the clock in small steps, as real time would, so that timers set by the handlers of
  // earlier ones fire within the same advance.
  void Advance(std::int64_t ms) {
    while (ms > 0) {
      const std::int64_t step = std::min<std::int64_t>(ms, CRasMan::kHandlePollMs);
      clock_.Advance(step);
      loop_.RunPending();
      ms -= step;
    }
  }
  // Dials with `a` and brings the line up.
  void BringUp() {
    backend_.AddAttempt({{RASCS_OpenPort, 0}, {RASCS_Connected, 0}});
    ras_.Dial(a_.Handle());
    Pump();
    ASSERT_TRUE(ras_.IsUp());
  }

  ManualClock clock_;
  EventLoop loop_{clock_};
  test::Watchdog watchdog_{std::chrono::seconds(20), loop_.Id()};
  test::TempDir dir_;
  test::ScriptedDialBackend backend_;
  LambdaWindow owner_, a_, b_;
  std::vector<std::string> order_;  // which window got each notice, in delivery order
  CRasMan ras_{backend_, Profile(dir_.File("Quillmere.ini"))};
};

TEST_F(RasManTest, DialReportsProgressToTheOwnerFirstThenTheRequester) {
  backend_.AddAttempt({{RASCS_OpenPort, 0}, {RASCS_Authenticate, 0}, {RASCS_Connected, 0}});
  ras_.Dial(a_.Handle());
  EXPECT_TRUE(ras_.IsDialling());
  Pump();
  const Notices expected = {{0, 0}, {5, 0}, {8192, 0}};
  EXPECT_EQ(NoticesOf(owner_), expected);
  EXPECT_EQ(NoticesOf(a_), expected);
  EXPECT_EQ(order_, (std::vector<std::string>{"owner", "a", "owner", "a", "owner", "a"}));
  ASSERT_EQ(backend_.DialCount(), 1);
  EXPECT_EQ(backend_.Dials()[0].entry, "office");
  EXPECT_EQ(backend_.Dials()[0].password, "stored-pw");  // nothing saved with the entry
  EXPECT_TRUE(ras_.IsUp());
  EXPECT_FALSE(ras_.IsAdopted());
}

// A download manager asks from the network thread: the back end (which may run a program for
// seconds) is never called there; the request goes over to the manager's thread and the answer
// comes back as a notice.
TEST_F(RasManTest, RequestsFromAnotherThreadAreCarriedOutOnTheManagersThread) {
  backend_.AddAttempt({{RASCS_OpenPort, 0}, {RASCS_Connected, 0}});
  std::thread([this] { ras_.Dial(a_.Handle()); }).join();
  EXPECT_EQ(backend_.DialCount(), 0);
  EXPECT_FALSE(ras_.IsDialling());
  Pump();
  EXPECT_EQ(backend_.DialCount(), 1);
  EXPECT_EQ(NoticesOf(a_), (Notices{{0, 0}, {8192, 0}}));

  std::thread([this] { ras_.Release(a_.Handle()); }).join();
  EXPECT_EQ(backend_.HangUpCount(), 0);
  EXPECT_TRUE(ras_.IsUp());
  Pump();
  EXPECT_EQ(backend_.HangUpCount(), 1);
  EXPECT_EQ(NoticesOf(a_).back(), (Notice{8193, 0}));
}

TEST_F(RasManTest, SecondRequesterWhileUpIsAnsweredAtOnceWithoutANewDial) {
  BringUp();
  ras_.Dial(b_.Handle());
  Pump();
  EXPECT_EQ(NoticesOf(b_), (Notices{{8192, 0}}));
  EXPECT_EQ(NoticesOf(owner_).size(), 2u);  // the owner hears nothing new
  EXPECT_EQ(backend_.DialCount(), 1);
}

TEST_F(RasManTest, SecondRequesterWhileDiallingGetsItsAnswerWithTheOthers) {
  ras_.Dial(a_.Handle());  // no scripted attempt: the dial stays under way
  backend_.Emit(RASCS_OpenPort, 0);
  Pump();
  ras_.Dial(b_.Handle());
  ras_.Dial(b_.Handle());  // asking twice counts once
  backend_.Emit(RASCS_Connected, 0);
  Pump();
  EXPECT_EQ(backend_.DialCount(), 1);
  EXPECT_EQ(NoticesOf(a_), (Notices{{0, 0}, {8192, 0}}));
  EXPECT_EQ(NoticesOf(b_), (Notices{{8192, 0}}));

  ras_.Release(b_.Handle());
  EXPECT_EQ(backend_.HangUpCount(), 0);  // a still holds the line
  ras_.Release(a_.Handle());
  EXPECT_EQ(backend_.HangUpCount(), 1);
}

TEST_F(RasManTest, TheLastReleaseHangsUpAndTellsTheOwner) {
  BringUp();
  ras_.Dial(b_.Handle());
  Pump();
  ras_.Release(a_.Handle());
  Pump();
  EXPECT_EQ(NoticesOf(a_).back(), Notice(8193, 0));
  EXPECT_EQ(NoticesOf(owner_).back(), Notice(8192, 0));
  EXPECT_EQ(backend_.HangUpCount(), 0);

  ras_.Release(b_.Handle());
  Pump();
  EXPECT_EQ(backend_.HangUpCount(), 1);
  EXPECT_EQ(backend_.LiveCount(), 0);
  EXPECT_EQ(NoticesOf(owner_).back(), Notice(8193, 0));
  EXPECT_EQ(NoticesOf(b_).back(), Notice(8193, 0));
  EXPECT_EQ(order_.back(), "b");  // the owner is told first
  EXPECT_FALSE(ras_.IsUp());

  ras_.Release(a_.Handle());  // a second time: it holds nothing
  Pump();
  EXPECT_EQ(NoticesOf(a_).back(), Notice(0, -1));
  EXPECT_EQ(NoticesOf(owner_).back(), Notice(8193, 0));
}

TEST_F(RasManTest, AdoptedLineIsUsedAsItIsAndNeverHungUp) {
  backend_.SetConnected("office", true);
  ras_.Dial(a_.Handle());
  Pump();
  EXPECT_EQ(NoticesOf(owner_), (Notices{{8192, 0}}));
  EXPECT_EQ(NoticesOf(a_), (Notices{{8192, 0}}));
  EXPECT_EQ(backend_.DialCount(), 0);
  EXPECT_TRUE(ras_.IsAdopted());

  ras_.Release(a_.Handle());
  Pump();
  EXPECT_EQ(NoticesOf(owner_).back(), Notice(8193, 0));
  EXPECT_EQ(NoticesOf(a_).back(), Notice(8193, 0));
  EXPECT_EQ(backend_.HangUpCount(), 0);
}

TEST_F(RasManTest, LineThatWentDownMeanwhileIsDialledAgain) {
  backend_.SetConnected("office", true);
  ras_.Dial(a_.Handle());
  Pump();
  backend_.SetConnected("office", false);  // someone else took it down
  backend_.AddAttempt({{RASCS_Connected, 0}});
  ras_.Dial(b_.Handle());
  Pump();
  EXPECT_EQ(backend_.DialCount(), 1);
  EXPECT_EQ(NoticesOf(b_), (Notices{{8192, 0}}));
  EXPECT_FALSE(ras_.IsAdopted());
}

TEST_F(RasManTest, BusyLineIsRedialledDialRetryTimesThenTheBusyIsPassedOn) {
  backend_.SetHangUpLinger(2);  // the hung-up line shows for two more looks
  for (int i = 0; i < 3; ++i) backend_.AddAttempt({{RASCS_OpenPort, 0}, {0, ERROR_LINE_BUSY}});
  ras_.Dial(a_.Handle());
  Pump();
  EXPECT_EQ(backend_.HangUpCount(), 1);
  EXPECT_TRUE(ras_.IsDialling());
  Advance(CRasMan::kHandlePollMs);  // still there
  Advance(CRasMan::kHandlePollMs);  // gone: now the pause
  Advance(CRasMan::kRedialDelayMs - 1);
  EXPECT_EQ(backend_.DialCount(), 1);
  Advance(1);
  EXPECT_EQ(backend_.DialCount(), 2);
  Advance(CRasMan::kHandlePollMs * 2 + CRasMan::kRedialDelayMs);
  EXPECT_EQ(backend_.DialCount(), 3);
  Advance(CRasMan::kHandlePollMs * 2 + CRasMan::kRedialDelayMs);
  EXPECT_EQ(backend_.DialCount(), 3);  // two redials, no more
  const Notices expected = {{0, 0}, {0, 0}, {0, 0}, {0, ERROR_LINE_BUSY}};
  EXPECT_EQ(NoticesOf(owner_), expected);
  EXPECT_EQ(NoticesOf(a_), expected);
  EXPECT_FALSE(ras_.IsDialling());
  EXPECT_EQ(DialStatusText(0, ERROR_LINE_BUSY),
            std::string_view("\x89\xF1\x90\xFC\x82\xAA\x8E\x67\x97\x70\x92\x86\x82\xC5\x82\xB7"));

  // The count starts again: one busy line, then a connection.
  backend_.SetHangUpLinger(0);
  backend_.AddAttempt({{0, ERROR_LINE_BUSY}});
  backend_.AddAttempt({{RASCS_Connected, 0}});
  ras_.Dial(a_.Handle());
  Pump();
  Advance(CRasMan::kRedialDelayMs);
  EXPECT_EQ(backend_.DialCount(), 5);
  EXPECT_EQ(NoticesOf(a_).back(), Notice(8192, 0));
}

TEST_F(RasManTest, EverybodyLeavingDuringTheBusyPauseCancelsTheRedial) {
  backend_.AddAttempt({{0, ERROR_LINE_BUSY}});
  ras_.Dial(a_.Handle());
  Pump();
  ras_.Release(a_.Handle());
  Advance(10 * CRasMan::kRedialDelayMs);
  EXPECT_EQ(backend_.DialCount(), 1);
  EXPECT_EQ(NoticesOf(owner_), (Notices{{8193, 0}}));
  EXPECT_FALSE(ras_.IsDialling());
}

TEST_F(RasManTest, EmptyEntryDialsTheDefaultEntryWithItsSavedPassword) {
  ASSERT_TRUE(Profile(dir_.File("Quillmere.ini"))
                  .WriteProfileString("RemoteAccess", "Default", "home isp"));
  backend_.SetSavedParams("home isp", "me", "saved-pw");
  ras_.SetSettings(DialSettings{"", 2, "stored-pw"});
  EXPECT_EQ(ras_.EntryToDial(), "home isp");
  ras_.Dial(a_.Handle());
  ASSERT_EQ(backend_.DialCount(), 1);
  EXPECT_EQ(backend_.Dials()[0].entry, "home isp");
  EXPECT_EQ(backend_.Dials()[0].user, "me");
  EXPECT_EQ(backend_.Dials()[0].password, "saved-pw");  // the saved one wins over the setting
}

TEST_F(RasManTest, DialThatCannotStartFailsForEverybodyWhoThenHoldNothing) {
  backend_.FailNextDial(ERROR_RASMAN_CANNOT_INITIALIZE);
  ras_.Dial(a_.Handle());
  Pump();
  EXPECT_EQ(NoticesOf(owner_), (Notices{{0, ERROR_RASMAN_CANNOT_INITIALIZE}}));
  EXPECT_EQ(NoticesOf(a_), (Notices{{0, ERROR_RASMAN_CANNOT_INITIALIZE}}));
  EXPECT_EQ(DialStatusText(0, ERROR_RASMAN_CANNOT_INITIALIZE), kUnexpectedError);
  EXPECT_FALSE(ras_.IsDialling());

  ras_.Release(a_.Handle());
  Pump();
  EXPECT_EQ(NoticesOf(a_).back(), Notice(0, -1));

  backend_.AddAttempt({{RASCS_Connected, 0}});
  ras_.Dial(a_.Handle());  // a later request dials afresh
  Pump();
  EXPECT_EQ(backend_.DialCount(), 2);
  EXPECT_EQ(NoticesOf(a_).back(), Notice(8192, 0));
}

TEST_F(RasManTest, ReleaseDuringTheDialHangsUpAndLateEventsAreIgnored) {
  ras_.Dial(a_.Handle());
  backend_.Emit(RASCS_OpenPort, 0);
  Pump();
  ras_.Release(a_.Handle());
  Pump();
  EXPECT_EQ(backend_.HangUpCount(), 1);
  EXPECT_EQ(NoticesOf(owner_), (Notices{{0, 0}, {8193, 0}}));
  // An event of the abandoned connection that was already on its way.
  PostMessage(ras_.Handle(), CRasMan::kDialEventMessage, RASCS_Connected, 0,
              MakePayload<DialConn>(1));
  Pump();
  EXPECT_EQ(NoticesOf(owner_).size(), 2u);
  EXPECT_FALSE(ras_.IsUp());
}

TEST_F(RasManTest, RequesterWhoseWindowIsGoneDoesNotKeepTheLineUp) {
  BringUp();
  ras_.Dial(b_.Handle());
  Pump();
  b_.Destroy();  // a download manager that went away without giving the line back
  ras_.Release(a_.Handle());
  EXPECT_EQ(backend_.HangUpCount(), 1);
}

TEST_F(RasManTest, LineWeDialledIsHungUpWhenTheManagerGoes) {
  {
    CRasMan other(backend_, Profile(dir_.File("Quillmere.ini")));
    ASSERT_TRUE(other.Create(0));
    other.SetSettings(DialSettings{"office", 0, ""});
    backend_.AddAttempt({{RASCS_Connected, 0}});
    other.Dial(a_.Handle());
    Pump();
    EXPECT_EQ(backend_.LiveCount(), 1);
  }
  EXPECT_EQ(backend_.LiveCount(), 0);
}

TEST(RasManThreadsTest, DownloadManagerOnAnotherThreadAsksAndGivesBack) {
  ManualClock clock;
  EventLoop ui_loop(clock);
  test::Watchdog watchdog(std::chrono::seconds(20), ui_loop.Id());
  test::TempDir dir;
  test::ScriptedDialBackend backend;
  backend.AddAttempt({{RASCS_OpenPort, 0}, {RASCS_Connected, 0}});
  LambdaWindow owner;
  owner.Create();
  CRasMan ras(backend, Profile(dir.File("q.ini")));
  ASSERT_TRUE(ras.Create(owner.Handle()));
  ras.SetSettings(DialSettings{"office", 0, ""});
  const ThreadId ui = ui_loop.Id();

  Notices seen_by_worker;
  std::thread worker([&] {
    EventLoop net_loop(MonotonicClock::Instance());
    LambdaWindow manager;
    manager.SetHandler([&](Message& msg) {
      if (msg.message != CRasMan::kNoticeMessage) return 0;
      seen_by_worker.emplace_back(static_cast<int>(msg.wparam), msg.lparam);
      if (msg.wparam == RASCS_Connected) ras.Release(manager.Handle());
      if (msg.wparam == RASCS_Disconnected) {
        PostThreadMessage(ui, WM_QUIT);
        PostQuitMessage(0);
      }
      return 0;
    });
    manager.Create();
    ras.Dial(manager.Handle());
    net_loop.Run();
  });
  ui_loop.Run();
  worker.join();
  EXPECT_EQ(seen_by_worker, (Notices{{0, 0}, {8192, 0}, {8193, 0}}));
  ui_loop.RunPending();
  EXPECT_EQ(NoticesOf(owner), (Notices{{0, 0}, {8192, 0}, {8193, 0}}));
  EXPECT_EQ(backend.HangUpCount(), 1);
}

TEST(DialStatusTextTest, TextsForStatesAndErrors) {
  const struct {
    int state;
    int error;
    const char* text;  // nullptr: the text stays as it is
  } rows[] = {
      {0, 0, "\x83\x5F\x83\x43\x83\x41\x83\x8B\x92\x86"},  // ダイアル中
      {5, 0, "\x94\x46\x8F\xD8\x92\x86"},                  // 認証中
      {19, 0, "\x94\x46\x8F\xD8\x92\x86"},
      {21, 0, "\x83\x8D\x83\x4F\x83\x49\x83\x93\x92\x86"},  // ログオン中
      {8192, 0, "\x83\x5F\x83\x43\x83\x41\x83\x8B\x83\x41\x83\x62\x83\x76\x90\xDA\x91\xB1\x92\x86"},
      {8193, 0, "\x83\x5F\x83\x43\x83\x41\x83\x8B\x83\x41\x83\x62\x83\x76\x96\xA2\x90\xDA\x91\xB1"},
      {2, 0, nullptr},
      {18, 0, nullptr},
      {0, 629,
       "\x90\xDA\x91\xB1\x90\xE6\x82\xA9\x82\xE7\x90\xDA\x91\xB1\x82\xF0\x90\xD8\x92\x66\x82\xB3"
       "\x82\xEA\x82\xDC\x82\xB5\x82\xBD"},
      {5, 630,
       "\x83\x82\x83\x66\x83\x80\x82\xCC\x94\xBD\x89\x9E\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9"
       "\x82\xF1"},
      {0, 680,
       "\x83\x5F\x83\x43\x83\x41\x83\x8B\x83\x67\x81\x5B\x83\x93\x82\xAA\x8C\x9F\x8F\x6F\x82\xC5"
       "\x82\xAB\x82\xDC\x82\xB9\x82\xF1"},
      {0, 691, kUnexpectedError.data()},
      {0, -1, kUnexpectedError.data()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.state << "," << row.error);
    const std::optional<std::string_view> text = DialStatusText(row.state, row.error);
    if (!row.text) {
      EXPECT_FALSE(text.has_value());
    } else {
      ASSERT_TRUE(text.has_value());
      EXPECT_EQ(*text, std::string_view(row.text));
    }
  }
}

}  // namespace
}  // namespace qlm
