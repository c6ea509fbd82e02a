// The project window as a person uses it: QLM opens a project of the demo site (served by nginx
// on loopback) and shows it, F5 patrols it, Esc stops a patrol and the next F5 resumes it, a
// patrol from a terminal is refused meanwhile, and the stored start page opens in the browser.
// Set QLM_SCREENSHOT_DIR to keep the screenshots.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <thread>

#include "picture/ChannelMessages.h"
#include "platform/Folders.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempHome.h"
#include "tests/xvfb/GuiProgram.h"
#include "tests/xvfb/XvfbServer.h"

namespace qlm {
namespace {

namespace fs = std::filesystem;
using test::GuiProgram;

std::string Examples() {
  return std::string(QLM_SOURCE_DIR) + "/examples/";
}

bool WaitUntil(const std::function<bool()>& done, int limit_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

// The counter line in a text ("Detected 12 Retry 0 ..."), the last one; empty when none.
std::string LastCounters(const std::string& text) {
  static const std::regex kLine(
      "Detected [0-9]+ Retry [0-9]+ Visited [0-9]+ Failed [0-9]+ Localize [0-9]+ Modified [0-9]+");
  std::string last;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), kLine);
       it != std::sregex_iterator(); ++it) {
    last = it->str();
  }
  return last;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Files below a folder by relative path, with their bytes; the queue and list files left out.
std::map<std::string, std::string> Files(const std::string& root) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = it->path().string();
    if (!it->is_regular_file() || path.find(".qlm") != std::string::npos) continue;
    const std::string name = it->path().filename().string();
    if (name.ends_with(".uq") || name.ends_with(".lq") || name.ends_with(".mg") ||
        name.ends_with(".lc") || name.ends_with(".vl")) {
      continue;
    }
    files[path.substr(root.size())] = test::ReadFileBytes(path);
  }
  return files;
}

class ProjectWindowXvfbTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = test::XvfbServer::MissingTool();
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    if (test::NginxServer::Program().empty()) GTEST_SKIP() << "nginx is not installed";
    test::NginxServer::Options options;
    options.server_directives = test::ReadFileBytes(Examples() + "demo-site.conf");
    nginx_ = std::make_unique<test::NginxServer>(options);
    fs::copy(Examples() + "demo-site", nginx_->Root(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_TRUE(nginx_->Start()) << nginx_->Error();
    ASSERT_TRUE(server_.Start(1024, 768));
    home_.Export();
    ASSERT_TRUE(Profile().WriteProfileString(AppSettings::kSection, "MirrorDir", Mirror()));
    ASSERT_TRUE(Profile().WriteProfileInt(AppSettings::kSection, "UseRobotsTxt", 1));
    // The desktop's browser: a stand-in that notes what it was asked to open.
    const std::string bin = dir_.Path() + "/bin/";
    ASSERT_TRUE(CreateFolders(bin, 0755));
    ASSERT_TRUE(
        test::WriteFileBytes(bin + "xdg-open", "#!/bin/sh\necho \"$@\" >> '" + Opened() + "'\n"));
    ::chmod((bin + "xdg-open").c_str(), 0755);
    setenv("PATH", (bin + ":" + getenv("PATH")).c_str(), 1);
  }

  void TearDown() override {
    if (HasFailure()) ADD_FAILURE() << "QLM's output:\n" << qlm_.Output();
  }

  std::string Mirror() const { return dir_.Path() + "/Mirror/"; }
  std::string Opened() const { return dir_.Path() + "/opened.txt"; }

  // The demo project under `name`, pointing at the test's nginx, with an access interval.
  std::string WriteProject(const std::string& name, int interval) const {
    std::string project = test::ReadFileBytes(Examples() + "Demo.prj");
    const std::string site = "http://127.0.0.1:8080/";
    project.replace(project.find(site), site.size(), nginx_->Url("/"));
    const std::string zero = "AccessInterval=0";
    project.replace(project.find(zero), zero.size(), "AccessInterval=" + std::to_string(interval));
    const std::string path = dir_.Path() + "/" + name + ".prj";
    EXPECT_TRUE(test::WriteFileBytes(path, project));
    return path;
  }

  // The frame's X window: its title names the maximized project window after the frame's own.
  static std::string FrameWindow() {
    const std::string found = test::RunCommand(
        std::string("xdotool search --onlyvisible --name '^") + kMainFrameTitle + "'");
    return found.substr(0, found.find('\n'));
  }

  void StartWindow(const std::string& project) {
    ASSERT_TRUE(qlm_.Start("QLM", {project}));
    ASSERT_TRUE(WaitUntil([] { return !FrameWindow().empty(); }, 60000));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    test::RunCommand("xdotool windowfocus " + FrameWindow());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }

  // Waits for the window's patrol to end `count` times in all (its output tells each end).
  bool WaitEnds(const std::string& word, size_t count, int limit_ms = 60000) {
    return WaitUntil([&] { return Count(qlm_.Output(), word) >= count; }, limit_ms);
  }

  int HeadlessPatrol(const std::string& project, std::string* out) const {
    const std::string text = test::RunCommand(GuiProgram::Path("QLM") + " --patrol '" + project +
                                              "' 2>&1; echo \"exit=$?\"");
    if (out) *out = text;
    std::smatch match;
    if (!std::regex_search(text, match, std::regex("exit=([0-9]+)"))) return -1;
    return std::stoi(match[1]);
  }

  test::TempDir dir_;
  std::unique_ptr<test::NginxServer> nginx_;
  test::XvfbServer server_;
  test::TempHome home_;
  GuiProgram qlm_;
};

TEST_F(ProjectWindowXvfbTest, F5PatrolsAsTheTerminalDoesAndTheItemOpensInTheBrowser) {
  const std::string project = WriteProject("Demo", 0);
  ASSERT_NO_FATAL_FAILURE(StartWindow(project));
  server_.Shot("i26-project-before");
  test::PressKeys("F5");
  ASSERT_TRUE(WaitEnds("巡回終了", 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  server_.Shot("i26-project-after");

  // The same counters and the same mirror as a patrol from the terminal of a copy of the project.
  std::string out;
  ASSERT_EQ(HeadlessPatrol(WriteProject("Copy", 0), &out), 0) << out;
  EXPECT_EQ(LastCounters(qlm_.Output()), LastCounters(out));
  EXPECT_FALSE(LastCounters(out).empty()) << out;
  const auto window_files = Files(Mirror() + "Demo/");
  EXPECT_TRUE(window_files == Files(Mirror() + "Copy/")) << "the mirrors differ";
  EXPECT_EQ(window_files.size(), 15u);

  // Ctrl+S saves the title the item took from its page.
  test::PressKeys("ctrl+s");
  ASSERT_TRUE(WaitUntil(
      [&] {
        return test::ReadFileBytes(project).find("Title=\"Harbour Town\"") != std::string::npos;
      },
      10000));

  // The item (the third row: root, folder, item) in the browser, from its context menu.
  test::PressKeys("Down Down Menu");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  server_.Shot("i26-item-menu");
  test::PressKeys("Down Return");  // its first entry, "ブラウザで表示"
  ASSERT_TRUE(WaitUntil([&] { return !test::ReadFileBytes(Opened()).empty(); }, 10000));
  EXPECT_EQ(test::ReadFileBytes(Opened()),
            "file://" + Mirror() + "Demo/Harbour/127.0.0.1/index.html\n");
}

TEST_F(ProjectWindowXvfbTest, EscStopsTheNextF5ResumesAndATerminalPatrolIsRefusedMeanwhile) {
  const std::string project = WriteProject("Slow", 1);
  ASSERT_NO_FATAL_FAILURE(StartWindow(project));
  test::PressKeys("F5");
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  server_.Shot("i26-project-during");
  std::string out;
  EXPECT_EQ(HeadlessPatrol(project, &out), 1) << out;
  EXPECT_NE(out.find("running already"), std::string::npos) << out;

  test::PressKeys("Escape");
  ASSERT_TRUE(WaitEnds("巡回中断", 1, 20000));
  server_.Shot("i26-project-stopped");
  test::PressKeys("F5");
  ASSERT_TRUE(WaitEnds("巡回終了", 1, 90000));
  server_.Shot("i26-project-resumed");
  // The resumed patrol fetched what the first one left: the whole site is there.
  EXPECT_TRUE(fs::is_regular_file(Mirror() + "Slow/Harbour/127.0.0.1/gallery/sunset.jpg"));
  EXPECT_TRUE(fs::is_regular_file(Mirror() + "Slow/Harbour/127.0.0.1/news/2024/harbour-day.html"));
}

TEST_F(ProjectWindowXvfbTest, ADailyTimerPatrolsItsItemAtItsMinuteThroughTheProjectWindow) {
  const std::string project = WriteProject("Timed", 0);
  ASSERT_TRUE(Profile().WriteProfileInt(AppSettings::kSection, "TimerValid", 1));
  // The frame looks at the timers once a minute from its start: a timer at the minute after the
  // next one is seen whatever the second the program starts at.
  const auto local = [](std::chrono::minutes ahead) {
    const std::time_t at = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() +
                                                                ahead);
    std::tm tm{};
    localtime_r(&at, &tm);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", tm.tm_hour, tm.tm_min);
    return std::string(text);
  };
  const std::string url = nginx_->Url("/index.html");
  ASSERT_TRUE(CreateDataFolder());
  ASSERT_TRUE(test::WriteFileBytes(DataFolder() + "QLM.tmf",
                                   project + "|/Harbour/|" + url + "|Harbour|Daily|" +
                                       local(std::chrono::minutes(2)) + ":1|Default|" +
                                       local(std::chrono::minutes(30)) + ":1\r\n"));
  // Started without a project: the timer opens its project in a window of its own.
  ASSERT_TRUE(qlm_.Start("QLM", {}));
  ASSERT_TRUE(WaitEnds("巡回終了", 1, 200000));
  server_.Shot("i27-timer-patrolled");
  EXPECT_NE(qlm_.Output().find("Timed"), std::string::npos) << qlm_.Output();
  EXPECT_TRUE(fs::is_regular_file(Mirror() + "Timed/Harbour/127.0.0.1/index.html"));
  EXPECT_TRUE(fs::is_regular_file(Mirror() + "Timed/Harbour/127.0.0.1/gallery/sunset.jpg"));
}

}  // namespace
}  // namespace qlm
