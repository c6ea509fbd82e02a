// The body sink's copy in memory: what a reader may take instead of reading the file back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "net/CFileBodySink.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

TEST(CFileBodySink, KeepsTheFirstBytesAndTellsWhetherTheyAreTheWholeBody) {
  test::TempDir dir;
  const std::string path = dir.File("body.dat");
  CFileBodySink sink;
  ASSERT_TRUE(sink.Create(path, false));
  sink.KeepCopy(10);
  ASSERT_TRUE(sink.WriteBody("0123", 4));
  ASSERT_TRUE(sink.WriteBody("4567", 4));
  EXPECT_EQ(sink.Kept(), "01234567");
  EXPECT_TRUE(sink.KeptWhole());
  ASSERT_TRUE(sink.WriteBody("89abcdef", 8));  // crosses the limit
  EXPECT_EQ(sink.Kept(), "0123456789");
  EXPECT_FALSE(sink.KeptWhole());
  ASSERT_TRUE(sink.WriteBody("g", 1));
  EXPECT_EQ(sink.Kept(), "0123456789") << "nothing after a gap";
  ASSERT_TRUE(sink.Close());
  EXPECT_EQ(test::ReadFileBytes(path), "0123456789abcdefg");

  // The next body starts empty, also when its file cannot be made.
  ASSERT_TRUE(sink.Create(path, false));
  sink.KeepCopy(10);
  EXPECT_EQ(sink.Kept(), "");
  EXPECT_TRUE(sink.KeptWhole());
  ASSERT_TRUE(sink.WriteBody("x", 1));
  EXPECT_EQ(sink.Kept(), "x");
  EXPECT_FALSE(sink.Create(dir.File("missing/body.dat"), false));
  EXPECT_EQ(sink.Kept(), "");
  EXPECT_FALSE(sink.WriteBody("y", 1));
  EXPECT_EQ(sink.Kept(), "") << "nothing is kept that the file did not get";
}

TEST(CFileBodySink, TellsTheLastWriteTimeOfTheFileItClosed) {
  test::TempDir dir;
  const std::string path = dir.File("body.dat");
  CFileBodySink sink;
  ASSERT_TRUE(sink.Create(path, false));
  ASSERT_TRUE(sink.WriteBody("body", 4));
  EXPECT_FALSE(sink.LastWrite()) << "not before the close";
  ASSERT_TRUE(sink.Close());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const auto since_epoch = sink.LastWrite()->time_since_epoch();
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count(),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
  // The next file starts without one.
  ASSERT_TRUE(sink.Create(dir.File("next.dat"), false));
  EXPECT_FALSE(sink.LastWrite());
}

// A body is kept whole or not at all: a refused write leaves nothing of its piece behind, and the
// reason tells a bound of the limits (the download fails) from a full disk (the patrol stops).
TEST(CFileBodySink, WritesWithinItsLimitsOrTellsWhyNot) {
  constexpr int64_t kHuge = int64_t{1} << 60;  // more than any file system has free
  struct Case {
    const char* name;
    const char* file;  // empty: a new file in the test folder
    int64_t max_bytes, reserve;
    bool ok;
    int error;
    bool refused;
  };
  const Case cases[] = {
      {"no bounds", "", 0, 0, true, 0, false},
      {"up to the size bound", "", 10, 0, true, 0, false},
      {"past the size bound", "", 9, 0, false, EFBIG, true},
      {"a small reserve", "", 0, 1 << 20, true, 0, false},
      {"a reserve the disk has not got", "", 0, kHuge, false, ENOSPC, true},
      {"a full file system", "/dev/full", 0, 0, false, ENOSPC, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string path = *c.file ? c.file : dir.File("body.dat");
    CFileBodySink sink;
    sink.SetLimits(c.max_bytes, c.reserve);
    ASSERT_TRUE(sink.OpenAppend(path));
    const bool ok = sink.WriteBody("01234", 5) && sink.WriteBody("56789", 5);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(sink.LastError(), c.error);
    EXPECT_EQ(sink.Refused(), c.refused);
    EXPECT_EQ(sink.BytesWritten(), ok ? 10 : c.max_bytes > 0 ? 5 : 0);
    ASSERT_TRUE(sink.Close());
    if (!*c.file) {
      EXPECT_EQ(test::ReadFileBytes(path).size(), static_cast<size_t>(sink.BytesWritten()));
    }
  }
}

}  // namespace
}  // namespace qlm
