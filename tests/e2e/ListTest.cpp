// Runs the real QLM program with --list, without a display.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/support/TempHome.h"

namespace {

struct Outcome {
  int status;
  std::string out;
};

Outcome Qlm(const std::string& args) {
  // No display at all: the headless mode must not need one.
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                              std::string(QLM_BIN_DIR) + "/QLM " + args + " 2>&1";
  Outcome run{-1, {}};
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(QlmList, PrintsTheTreeOfAProjectFile) {
  qlm::test::TempDir dir;
  ASSERT_TRUE(qlm::test::WriteFileBytes(
      dir.File("demo.prj"), "Folder=\"f\"{ Record{ URL=\"http://127.0.0.1/\" GraphMax=2 } }"));
  const Outcome run = Qlm("--list '" + dir.File("demo.prj") + "'");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.rfind("ProjectDefault \"demo\" PilotType=0 ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\n  Folder \"f\" "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n    Record \"\" \"http://127.0.0.1/\" "), std::string::npos);
  EXPECT_NE(run.out.find(" GraphMax=2 "), std::string::npos);
}

TEST(QlmList, AMissingFileEndsWithStatusTwo) {
  qlm::test::TempDir dir;
  const Outcome run = Qlm("--list '" + dir.File("none.prj") + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("cannot read the project file"), std::string::npos) << run.out;
}

}  // namespace
