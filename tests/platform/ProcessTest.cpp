// Started programs: however many run, one thread collects them, and none lingers as a zombie.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/Process.h"
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

}  // namespace
}  // namespace qlm
