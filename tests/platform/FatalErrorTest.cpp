#include <gtest/gtest.h>

#include <cstdio>

#include "platform/FatalError.h"

namespace qlm {
namespace {

// "登録" in Shift_JIS: the stderr report converts the system's text for the terminal.
const std::string kShiftJisText = "\x93\x6f\x98\x5e";

TEST(FatalErrorDeathTest, DefaultReportGoesToStderrAndExitsWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EXIT(FatalAppExit("Fatal Title", kShiftJisText), testing::ExitedWithCode(1),
              "Fatal Title: \xE7\x99\xBB\xE9\x8C\xB2");
}

TEST(FatalErrorDeathTest, InstalledReporterIsShownBeforeTheExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetFatalErrorReporter([](const std::string& title, const std::string& text) {
          std::fprintf(stderr, "box[%s|%s]\n", title.c_str(), text.c_str());
        });
        FatalAppExit("T", "x");
      },
      testing::ExitedWithCode(1), "box\\[T\\|x\\]");
}

}  // namespace
}  // namespace qlm
