#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture/display/DisplayCommandLine.h"

namespace qlm {
namespace {

using Args = std::vector<std::string>;

TEST(DisplayCommandLineTest, ArgumentsChooseTheMode) {
  const struct {
    Args args;
    const char* daemon_window;  // XSCREENSAVER_WINDOW, or null
    DisplayCommandLine::Mode mode;
    uint64_t parent;
  } cases[] = {
      {{}, nullptr, DisplayCommandLine::kNormal, 0},
      {{"s"}, nullptr, DisplayCommandLine::kNormal, 0},
      {{"/S"}, nullptr, DisplayCommandLine::kNormal, 0},
      {{"-s"}, nullptr, DisplayCommandLine::kNormal, 0},
      {{"C"}, nullptr, DisplayCommandLine::kNormal, 0},
      {{"/p", "4194307"}, nullptr, DisplayCommandLine::kEmbedded, 4194307},
      {{"P", "12"}, nullptr, DisplayCommandLine::kEmbedded, 12},
      {{"-window-id", "0x3a00007"}, nullptr, DisplayCommandLine::kEmbedded, 0x3a00007},
      {{"-window-id", "77"}, "0x99", DisplayCommandLine::kEmbedded, 77},  // explicit id wins
      {{}, "0x1e00004", DisplayCommandLine::kEmbedded, 0x1e00004},
      {{"-root"}, "31457284", DisplayCommandLine::kEmbedded, 31457284},
      {{"-root"}, nullptr, DisplayCommandLine::kRoot, 0},
      {{"-root"}, "garbage", DisplayCommandLine::kRoot, 0},
      {{"s"}, "0x1e00004", DisplayCommandLine::kNormal, 0},  // asked for explicitly
      // Ends at once:
      {{"/a"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{"ss"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{"--s"}, nullptr, DisplayCommandLine::kEnd, 0},  // only one leading dash is removed
      {{"/c:1234"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{"p"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{"p", "0"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{"p", "0x10"}, nullptr, DisplayCommandLine::kEnd, 0},  // a handle is decimal
      {{"p", "12abc"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{"-window-id"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{"-window-id", "0x"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{"-window-id", "99999999999"}, nullptr, DisplayCommandLine::kEnd, 0},
      {{""}, nullptr, DisplayCommandLine::kEnd, 0},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += "[" + a + "]";
    SCOPED_TRACE(shown + (c.daemon_window ? std::string(" with ") + c.daemon_window : ""));
    const DisplayCommandLine line = DisplayCommandLine::Parse(c.args, c.daemon_window);
    EXPECT_EQ(line.mode, c.mode);
    EXPECT_EQ(line.parent, c.parent);
    EXPECT_EQ(line.error.empty(), c.mode != DisplayCommandLine::kEnd);
  }
}

}  // namespace
}  // namespace qlm
