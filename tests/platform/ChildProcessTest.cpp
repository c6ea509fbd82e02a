// Child processes: those run for their output, and those started to live on their own (however
// many run, one thread collects them, and none lingers as a zombie).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/ChildProcess.h"
#include "tests/support/ThreadCount.h"

namespace qlm {
namespace {

// The programs this test starts, children of this process, by state: running ones, and zombies that
// nobody reaped.
struct Children {
  int alive = 0;
  int zombies = 0;
};

Children ChildrenOfThisProcess() {
  Children children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid ...": the name may hold blanks, so read after its last ")".
    const std::size_t open = line.find('(');
    const std::size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 > line.size()) {
      continue;
    }
    const std::string name = line.substr(open + 1, close - open - 1);
    const char state = line[close + 2];
    if (std::stol(line.substr(close + 4)) != ::getpid()) continue;
    if (name != "sleep" && name != "true") continue;  // other tests' programs are theirs
    ++(state == 'Z' ? children.zombies : children.alive);
  }
  return children;
}

TEST(StartProgram, ManyProgramsAreCollectedByOneThreadAndLeaveNoZombie) {
  StartProgram("/bin/true");  // the collector is made by the first start
  const std::size_t before = test::ThreadsOfThisProcess();
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(StartProgram("/bin/sleep", {"0.2"}));
  EXPECT_EQ(test::ThreadsOfThisProcess(), before);
  Children children;
  for (int i = 0; i < 100; ++i) {
    children = ChildrenOfThisProcess();
    if (children.alive == 0 && children.zombies == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(children.alive, 0);
  EXPECT_EQ(children.zombies, 0);
  EXPECT_FALSE(StartProgram("/nonexistent/program"));
}

TEST(ChildProcessTest, RunCollectsOutputAndExitCode) {
  std::string output;
  EXPECT_EQ(ChildProcess::Run({"sh", "-c", "echo out; echo err >&2; exit 3"}, {}, 5000, &output),
            3);
  EXPECT_EQ(output, "out\nerr\n");
  EXPECT_EQ(ChildProcess::Run({"sh", "-c", "printf %s \"$QLM_X\""}, {"QLM_X=given"}, 5000, &output),
            0);
  EXPECT_EQ(output, "given");
  EXPECT_EQ(ChildProcess::Run({"/no/such/program"}, {}, 5000, &output), -1);
}

// What a child run for its output starts with, and how its end is told.
TEST(ChildProcessTest, AChildReadsNothingAndItsEndIsTold) {
  const struct {
    const char* script;
    int exit_code;
    const char* output;
  } rows[] = {
      {"cat; echo read to the end", 0, "read to the end\n"},  // standard input is /dev/null
      {"kill -TERM $$", 128 + SIGTERM, ""},
      {"echo a; exec 1>&-; echo b >&2; exit 7", 7, "a\nb\n"},
  };
  for (const auto& row : rows) {
    std::string output;
    EXPECT_EQ(ChildProcess::Run({"sh", "-c", row.script}, {}, 5000, &output), row.exit_code)
        << row.script;
    EXPECT_EQ(output, row.output) << row.script;
  }
}

// A program that lives on its own is started as named, not looked up in PATH.
TEST(StartProgram, TakesItsPathAsItIs) {
  errno = 0;
  EXPECT_FALSE(StartProgram("sh", {"-c", "true"}));
  EXPECT_EQ(errno, ENOENT);
}

TEST(ChildProcessTest, ChildThatOutstaysItsTimeIsKilled) {
  const auto start = std::chrono::steady_clock::now();
  std::string output;
  EXPECT_EQ(ChildProcess::Run({"sh", "-c", "echo begun; exec sleep 20"}, {}, 200, &output), -1);
  EXPECT_EQ(output, "begun\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace qlm
