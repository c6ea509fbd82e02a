// The real `QLM --timers` on test time: the test owns the program's clock through its control
// socket and moves it minute by minute, and watches the patrols of loopback sites start and stop.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/e2e/HeadlessPatrol.h"
#include "tests/e2e/QlmProcess.h"
#include "tests/support/SiteServer.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::HeadlessPatrol;
using test::QlmProcess;
using test::SiteServer;
using namespace std::chrono_literals;

// The test's end of QLM's test clock: a Unix-domain socket that QLM connects to.
class TestClock {
 public:
  TestClock() : path_(dir_.File("clock")) {
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 1) != 0) {
      ADD_FAILURE() << "cannot listen on " << path_;
    }
  }
  ~TestClock() {
    if (fd_ >= 0) ::close(fd_);
    ::close(listen_fd_);
  }

  // The environment entry that puts QLM on this clock, reading 0 at `epoch`.
  std::string Env(std::int64_t epoch) const {
    return "QLM_TEST_CLOCK=" + std::to_string(epoch) + "@" + path_;
  }
  // Takes QLM's connection and its "ready" line; the wall-clock seconds it tells, -1 on failure.
  std::int64_t Accept() {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 20000) != 1) return -1;
    fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    return Answer("ready");
  }
  // Moves QLM's clock and waits until it has served the timers that came due; the wall-clock
  // seconds it tells, -1 on failure.
  std::int64_t Advance(std::int64_t ms) {
    const std::string line = "advance " + std::to_string(ms) + "\n";
    if (::write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return -1;
    return Answer("now");
  }

 private:
  std::int64_t Answer(const std::string& word) {
    std::string line;
    char c;
    while (line.empty() || line.back() != '\n') {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20000) != 1 || ::read(fd_, &c, 1) != 1) return -1;
      line += c;
    }
    if (line.rfind(word + " ", 0) != 0) return -1;
    return std::strtoll(line.c_str() + word.size() + 1, nullptr, 10);
  }

  test::TempDir dir_;
  std::string path_;
  int listen_fd_ = -1;
  int fd_ = -1;
};

// 2024-03-01 10:00:00 UTC, when test time begins.
std::int64_t TestEpoch() {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 1;
  t.tm_hour = 10;
  return static_cast<std::int64_t>(timegm(&t));
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string DataFolder() {
  return std::string(std::getenv("XDG_DATA_HOME")) + "/Quillmere/";
}

// A project of one record; `interval` is the access interval in seconds: with a long one the
// patrol fetches the record's page and then waits, on test time, before each further download.
std::string Project(const std::string& url, int interval) {
  return "ProjectDefault\n{\n\tAccessInterval=" + std::to_string(interval) +
         "\n\tGraphMax=2\n}\nRecord\n{\n\tURL=\"" + url + "\"\n}\n";
}

// The patrol of `project` has stored the item's page, and so queued its links (both happen in one
// step of the download manager): a stop from now on leaves the page done.
bool PageStored(const HeadlessPatrol& project) {
  return WaitFor(
      [&] { return std::filesystem::exists(project.ProjectFolder() + "127.0.0.1/index.html"); });
}

void ThreePages(SiteServer& site) {
  site.Route("/", SiteServer::Html("<html><body><a href=\"a.html\">a</a>"
                                   "<a href=\"b.html\">b</a></body></html>"));
  site.Route("/a.html", SiteServer::Html("<html><body>a</body></html>"));
  site.Route("/b.html", SiteServer::Html("<html><body>b</body></html>"));
}

// A line of the timer list: a Daily timer of an item from `start` to `end` ("HH:MM:1" enabled,
// "HH:MM:0" disabled).
std::string DailyTimer(const std::string& file, const std::string& folder, const std::string& url,
                       const std::string& start, const std::string& end) {
  return file + "|" + folder + "|" + url + "||Daily|" + start + "|Default|" + end + "\r\n";
}

class TimerCommandTest : public testing::Test {
 protected:
  ~TimerCommandTest() override { std::remove((DataFolder() + "QLM.tmf").c_str()); }

  void Timers(const std::string& lines) {
    std::filesystem::create_directories(DataFolder());
    ASSERT_TRUE(test::WriteFileBytes(DataFolder() + "QLM.tmf", lines));
  }
  // Starts `QLM --timers` on test time and waits until its timers run.
  void StartTimers() {
    ASSERT_TRUE(qlm_.Start({"--timers"}, {clock_.Env(TestEpoch())}));
    ASSERT_EQ(clock_.Accept(), TestEpoch()) << qlm_.Err();
  }
  void NextMinute() { ASSERT_EQ(clock_.Advance(60000) % 60, 0) << qlm_.Err(); }
  // The `QLM --patrol` that resumes a stopped patrol, without the access interval.
  void Resume(HeadlessPatrol& project, const std::string& url) {
    project.Project(Project(url, 0));
    std::string out, err;
    EXPECT_EQ(project.Patrol(&out, &err), 0) << out << err;
  }

  TestClock clock_;
  QlmProcess qlm_;
};

TEST_F(TimerCommandTest, PatrolsStartAtTheirMinuteAndTheEndStopsOnlyThePatrolStillRunning) {
  // Two projects in one mirror: a waits between its downloads, b runs to its end at once.
  SiteServer site_a, site_b;
  ThreePages(site_a);
  ThreePages(site_b);
  HeadlessPatrol a("a");
  a.Project(Project(site_a.Url("/"), 600));
  const std::string b_path = a.ProjectPath().substr(0, a.ProjectPath().rfind('/')) + "/b.prj";
  ASSERT_TRUE(test::WriteFileBytes(b_path, Project(site_b.Url("/"), 0)));
  // a: the record, from 10:01 to 10:03; b: the whole project from 10:01, with its end disabled.
  Timers(DailyTimer(a.ProjectPath(), "a", site_a.Url("/"), "10:01:1", "10:03:1") +
         DailyTimer(b_path, "b", "", "10:01:1", "10:02:0"));
  ASSERT_NO_FATAL_FAILURE(StartTimers());
  EXPECT_EQ(qlm_.Out(), "") << "nothing before the start minute";

  ASSERT_NO_FATAL_FAILURE(NextMinute());  // 10:01
  EXPECT_TRUE(Has(qlm_.Out(), "2024-03-01 10:01:00 start " + a.ProjectPath() + " \"a\" " +
                                  site_a.Url("/") + "\n"))
      << qlm_.Out();
  EXPECT_TRUE(Has(qlm_.Out(), "2024-03-01 10:01:00 start " + b_path + " \"b\"\n"));
  ASSERT_TRUE(WaitFor([&] { return Has(qlm_.Out(), "end " + b_path + " (done)"); }))
      << qlm_.Out() << qlm_.Err();
  EXPECT_EQ(site_b.Count("/a.html") + site_b.Count("/b.html"), 2u);
  ASSERT_TRUE(PageStored(a)) << qlm_.Out() << qlm_.Err();

  // While the timers' patrol of a runs, its project is locked against another program's patrol.
  std::string out, err;
  EXPECT_EQ(a.Patrol(&out, &err), 1);
  EXPECT_TRUE(Has(err, "running already")) << err;

  ASSERT_NO_FATAL_FAILURE(NextMinute());  // 10:02: b's disabled end does nothing, and a runs on
  EXPECT_FALSE(Has(qlm_.Out(), " stop ")) << qlm_.Out();

  ASSERT_NO_FATAL_FAILURE(NextMinute());  // 10:03: a's end
  EXPECT_TRUE(Has(qlm_.Out(), "2024-03-01 10:03:00 stop " + a.ProjectPath() + "\n")) << qlm_.Out();
  ASSERT_TRUE(WaitFor([&] { return Has(qlm_.Out(), "end " + a.ProjectPath() + " (stopped)"); }))
      << qlm_.Out();
  EXPECT_EQ(site_a.Count("/a.html") + site_a.Count("/b.html"), 0u) << "waiting when stopped";

  qlm_.Signal(SIGTERM);
  ASSERT_TRUE(qlm_.Wait(20s));
  EXPECT_EQ(qlm_.ExitCode(), 0) << qlm_.Err();

  // The stopped patrol resumes where it stopped: the item's page is not fetched again.
  Resume(a, site_a.Url("/"));
  EXPECT_EQ(site_a.Count("/"), 1u);
  EXPECT_EQ(site_a.Count("/a.html"), 1u);
  EXPECT_EQ(site_a.Count("/b.html"), 1u);
}

TEST_F(TimerCommandTest, ASignalStopsTheRunningPatrolsWhichResumeLater) {
  SiteServer site;
  ThreePages(site);
  HeadlessPatrol a("a");
  a.Project(Project(site.Url("/"), 600));
  Timers(DailyTimer(a.ProjectPath(), "a", "", "10:01:1", "00:00:0"));
  ASSERT_NO_FATAL_FAILURE(StartTimers());
  ASSERT_NO_FATAL_FAILURE(NextMinute());
  ASSERT_TRUE(PageStored(a)) << qlm_.Out() << qlm_.Err();

  qlm_.Signal(SIGINT);
  ASSERT_TRUE(qlm_.Wait(20s));
  EXPECT_EQ(qlm_.ExitCode(), 0) << qlm_.Err();
  const std::string out = qlm_.Out();
  EXPECT_TRUE(Has(out, "10:01:00 stop " + a.ProjectPath() + " (the program ends)\n")) << out;
  EXPECT_TRUE(Has(out, "10:01:00 end " + a.ProjectPath() + " (stopped)")) << out;

  Resume(a, site.Url("/"));
  EXPECT_EQ(site.Count("/"), 1u);
  EXPECT_EQ(site.Count("/a.html"), 1u);
}

TEST_F(TimerCommandTest, ASecondTimerProgramSaysWhichOneHoldsTheTimersAndEnds) {
  HeadlessPatrol a("a");
  a.Project(Project("http://127.0.0.1:9/", 0));
  Timers(DailyTimer(a.ProjectPath(), "a", "", "23:59:1", "00:00:0"));
  ASSERT_NO_FATAL_FAILURE(StartTimers());
  std::string out, err;
  EXPECT_EQ(QlmProcess::Run({"--timers"}, &out, &err), 1);
  EXPECT_TRUE(Has(err, "run by QLM --timers, pid " + std::to_string(qlm_.Pid()))) << err;
  qlm_.Signal(SIGTERM);
  ASSERT_TRUE(qlm_.Wait(20s));
  EXPECT_EQ(qlm_.ExitCode(), 0) << qlm_.Err();
}

}  // namespace
}  // namespace qlm
