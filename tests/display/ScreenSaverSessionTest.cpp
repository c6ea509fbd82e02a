#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "picture/ChannelMessages.h"
#include "picture/display/ScreenSaverSession.h"
#include "platform/EventLoop.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/NamedMutex.h"
#include "platform/Profile.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/TempHome.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// A stand-in main program in a folder of its own: it writes its arguments and working folder.
void WriteFakeMainProgram(const TempDir& folder) {
  const std::string script = folder.File(ScreenSaverSession::kMainProgramFile);
  ASSERT_TRUE(WriteFileBytes(script,
                             "#!/bin/sh\necho \"$@\" > started.tmp\npwd >> started.tmp\n"
                             "mv started.tmp started\n"));
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
}

std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    const std::string bytes = ReadFileBytes(path);
    if (!bytes.empty()) return bytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::string();
}

// A main frame window in a worker thread of this process, found by title like the real one.
class FakeMainFrame {
 public:
  FakeMainFrame() {
    std::promise<Hwnd> ready;
    thread_ = std::thread([this, &ready] {
      EventLoop loop;
      LambdaWindow window([this](Message& msg) -> LResult {
        std::lock_guard lock(mutex_);
        seen_.push_back({msg.message, msg.wparam, msg.lparam});
        return 0;
      });
      window.Create("QlmTestFrame", kMainFrameTitle);
      window.Publish();
      loop_id_ = loop.Id();
      ready.set_value(window.Handle());
      loop.Run();
    });
    hwnd_ = ready.get_future().get();
  }
  ~FakeMainFrame() {
    PostThreadMessage(loop_id_, WM_QUIT, 0);
    thread_.join();
  }
  Hwnd Handle() const { return hwnd_; }
  // Waits until `count` messages have arrived and returns them.
  std::vector<LambdaWindow::Seen> WaitForMessages(size_t count) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard lock(mutex_);
        if (seen_.size() >= count) return seen_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  std::thread thread_;
  Hwnd hwnd_ = 0;
  ThreadId loop_id_ = 0;
  std::mutex mutex_;
  std::vector<LambdaWindow::Seen> seen_;
};

TEST(ScreenSaverSessionTest, OnlyOneScreenSaverRunsAtATime) {
  ScreenSaverSession first("/nonexistent/");
  ScreenSaverSession second("/nonexistent/");
  ASSERT_TRUE(first.TakeSingleInstance());
  EXPECT_FALSE(second.TakeSingleInstance());
  first.End();
  EXPECT_TRUE(second.TakeSingleInstance());
  second.End();
}

TEST(ScreenSaverSessionTest, StartsTheMainProgramWithDashSFromItsFolderWhenNoneRuns) {
  TempDir folder;
  WriteFakeMainProgram(folder);
  ScreenSaverSession session(folder.Path());
  EXPECT_FALSE(ScreenSaverSession::MainProgramRuns());
  EXPECT_TRUE(session.StartMainProgramIfNeeded());
  EXPECT_TRUE(session.StartedMainProgram());
  EXPECT_EQ(WaitForFile(folder.File("started")), "-s\n" + folder.Path() + "\n");
}

TEST(ScreenSaverSessionTest, LeavesARunningMainProgramAloneAndNeverClosesIt) {
  TempDir folder;
  WriteFakeMainProgram(folder);
  NamedMutex main_running(ScreenSaverSession::kMainProgramMutex);
  ASSERT_TRUE(main_running.TryLock());
  EXPECT_TRUE(ScreenSaverSession::MainProgramRuns());

  FakeMainFrame frame;
  ScreenSaverSession session(folder.Path());
  ASSERT_TRUE(session.TakeSingleInstance());
  EXPECT_FALSE(session.StartMainProgramIfNeeded());
  EXPECT_FALSE(session.StartedMainProgram());
  session.End();
  const auto seen = frame.WaitForMessages(1);
  ASSERT_EQ(seen.size(), 1u);  // WM_VIEWER_ENDED only, no WM_CLOSE
  EXPECT_EQ(seen[0].message, static_cast<unsigned>(WM_VIEWER_ENDED));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ReadFileBytes(folder.File("started")), "");
}

TEST(ScreenSaverSessionTest, AMissingMainProgramIsNotStarted) {
  TempDir folder;
  ScreenSaverSession session(folder.Path());
  EXPECT_FALSE(session.StartMainProgramIfNeeded());
  EXPECT_FALSE(session.StartedMainProgram());
}

TEST(ScreenSaverSessionTest, RegistersOnceTheMainWindowAppearsWithinTheTries) {
  ScreenSaverSession session("/nonexistent/");
  const Hwnd own = 0x5A5A;
  EXPECT_FALSE(session.TryRegister(own));  // not there yet
  EXPECT_FALSE(session.TryRegister(own));
  FakeMainFrame frame;
  EXPECT_TRUE(session.TryRegister(own));
  EXPECT_TRUE(session.Registered());
  EXPECT_EQ(session.TriesMade(), 3);
  const auto seen = frame.WaitForMessages(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, static_cast<unsigned>(WM_VIEWER_STARTED));
  EXPECT_EQ(seen[0].wparam, 0u);
  EXPECT_EQ(seen[0].lparam, static_cast<LParam>(own));
  EXPECT_TRUE(session.TryRegister(own));  // over: nothing more is posted
  EXPECT_EQ(session.TriesMade(), 3);
}

TEST(ScreenSaverSessionTest, GivesUpRegisteringAfterAHundredTries) {
  ScreenSaverSession session("/nonexistent/");
  int tries = 0;
  while (!session.TryRegister(1)) ++tries;
  EXPECT_EQ(tries + 1, ScreenSaverSession::kRegisterTries);
  EXPECT_FALSE(session.Registered());
  FakeMainFrame late;  // a main window that appears afterwards is not told
  EXPECT_TRUE(session.TryRegister(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(late.WaitForMessages(0).empty());
}

TEST(ScreenSaverSessionTest, EndClosesTheMainProgramItStartedThenTellsItTheEnd) {
  TempDir folder;
  WriteFakeMainProgram(folder);
  ScreenSaverSession session(folder.Path());
  ASSERT_TRUE(session.TakeSingleInstance());
  ASSERT_TRUE(session.StartMainProgramIfNeeded());
  FakeMainFrame frame;  // the started program's frame
  session.End();
  const auto seen = frame.WaitForMessages(2);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, static_cast<unsigned>(WM_CLOSE));
  EXPECT_EQ(seen[1].message, static_cast<unsigned>(WM_VIEWER_ENDED));
  // The mutex is free for the next screen saver.
  ScreenSaverSession next("/nonexistent/");
  EXPECT_TRUE(next.TakeSingleInstance());
  next.End();
}

TEST(ScreenSaverSessionTest, TileSettingIsANumberAndAnythingElseCountsAsOff) {
  TempDir folder;
  Profile profile(folder.File("settings.ini"));
  EXPECT_EQ(ScreenSaverSession::ReadTileSetting(profile), 0);  // no file at all
  const struct {
    const char* stored;
    int want;
  } cases[] = {{"1", 1}, {"0", 0}, {"2", 2}, {"yes", 0}, {"", 0}, {" 1", 1}, {"1x", 1}};
  for (const auto& c : cases) {
    ASSERT_TRUE(profile.WriteProfileString("Control Panel\\desktop", "TileWallpaper", c.stored));
    EXPECT_EQ(ScreenSaverSession::ReadTileSetting(profile), c.want) << "\"" << c.stored << "\"";
  }
}

}  // namespace
}  // namespace qlm
