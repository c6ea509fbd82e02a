// What a server said about a stored file's version: read from the reply as sent, kept in the
// project's log for that version, carried over when a page is rewritten or a copy confirmed.
#include <gtest/gtest.h>

#include <chrono>

#include "crawl/ValidatorLog.h"
#include "crawl/Validators.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

TEST(ValidatorsTest, AReplysValidatorsAreTakenAsSentInAnyLetterCase) {
  const struct {
    std::string headers;
    Validators validators;
  } cases[] = {
      {"Server: nginx\r\nLast-Modified: Sat, 02 Mar 2024 10:00:00 GMT\r\nETag: \"65e2f-1a\"",
       {"Sat, 02 Mar 2024 10:00:00 GMT", "\"65e2f-1a\""}},
      {"LAST-MODIFIED:Saturday, 02-Mar-24 10:00:00 GMT\netag:W/\"x\"",
       {"Saturday, 02-Mar-24 10:00:00 GMT", "W/\"x\""}},
      {"Content-Type: text/html\r\nContent-Length: 5", {"", ""}},
      // A value with a control byte could not go back into a request line as it stands.
      {"ETag: \"a\x01\"\r\nLast-Modified: Mon, 04 Mar 2024 00:00:00 GMT",
       {"Mon, 04 Mar 2024 00:00:00 GMT", ""}},
      {"ETag: \"" + std::string(kMaxValidator, 'e') + "\"", {"", ""}},
      {"X-Last-Modified: no\r\nETagged: no", {"", ""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValidatorsOfReply(c.headers), c.validators) << c.headers;
  }
}

FileTime At(int seconds) {
  return FileTime(std::chrono::seconds(1700000000 + seconds));
}

// A version's validators hold for that version only: moves carry them on, another write of the
// file leaves them behind, and a new version takes its own.
TEST(ValidatorsTest, TheLogKeepsEachFilesValidatorsForTheVersionTheyCameWith) {
  test::TempDir dir;
  const std::string root = dir.Path() + "/";
  const std::string log_file = dir.File("p.vl");
  const Validators page_sent{"Sat, 02 Mar 2024 10:00:00 GMT", "\"65e2f-1a\""};
  const Validators logo_sent{"", "\"logo\""};
  {
    ValidatorLog log(log_file, root);
    ASSERT_TRUE(log.Open());
    log.Stored(root + "h/page.html", At(1), page_sent);
    log.Moved(root + "h/page.html", At(1), At(2));  // rewritten
    log.Stored(root + "h/logo.jpg", At(1), logo_sent);
    log.Stored(root + "h/none.html", At(1), Validators{});
    log.Stored(root + "h/twice.html", At(1), logo_sent);
    log.Stored(root + "h/twice.html", At(3), page_sent);
    log.Moved(root + "h/twice.html", At(1), At(4));  // of the version replaced: no longer held
  }
  ValidatorLog log(log_file, root);
  ASSERT_TRUE(log.Open());
  const struct {
    const char* file;
    int written;
    Validators found;
  } cases[] = {
      {"h/page.html", 2, page_sent}, {"h/page.html", 1, {}},    {"h/logo.jpg", 1, logo_sent},
      {"h/logo.jpg", 5, {}},         {"h/none.html", 1, {}},    {"h/twice.html", 3, page_sent},
      {"h/twice.html", 4, {}},       {"h/missing.html", 1, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(log.Find(root + c.file, At(c.written)), c.found) << c.file << " " << c.written;
  }
  // A copy confirmed by a 304 is found under its new time at once, and by the next patrol.
  log.Moved(root + "h/logo.jpg", At(1), At(6));
  EXPECT_EQ(log.Find(root + "h/logo.jpg", At(6)), logo_sent);
  log.Flush();
  ValidatorLog next(log_file, root);
  ASSERT_TRUE(next.Open());
  EXPECT_EQ(next.Find(root + "h/logo.jpg", At(6)), logo_sent);
}

// A write cut off leaves a damaged record at the end: it is dropped, and what is written after it
// is read. A log that is mostly replaced versions is written anew with the versions that hold.
TEST(ValidatorsTest, TheLogDropsACutOffRecordAndIsWrittenAnewWhenMostlySuperseded) {
  test::TempDir dir;
  const std::string root = dir.Path() + "/";
  const std::string log_file = dir.File("p.vl");
  const Validators sent{"Sat, 02 Mar 2024 10:00:00 GMT", "\"e\""};
  {
    ValidatorLog log(log_file, root);
    ASSERT_TRUE(log.Open());
    log.Stored(root + "a.html", At(1), sent);
  }
  const std::string whole = test::ReadFileBytes(log_file);
  ASSERT_TRUE(test::WriteFileBytes(log_file, whole + whole.substr(whole.size() - 20)));
  {
    ValidatorLog log(log_file, root);
    ASSERT_TRUE(log.Open());
    EXPECT_EQ(log.Find(root + "a.html", At(1)), sent);
    log.Stored(root + "b.html", At(2), sent);
  }
  {
    ValidatorLog log(log_file, root);
    ASSERT_TRUE(log.Open());
    EXPECT_EQ(log.Find(root + "b.html", At(2)), sent);
    for (int i = 0; i < 1000; ++i) log.Moved(root + "a.html", At(1 + i), At(2 + i));
  }
  const std::size_t grown = test::ReadFileBytes(log_file).size();
  ValidatorLog log(log_file, root);
  ASSERT_TRUE(log.Open());
  EXPECT_LT(test::ReadFileBytes(log_file).size(), grown / 10);
  EXPECT_EQ(log.Size(), 2u);
  EXPECT_EQ(log.Find(root + "a.html", At(1001)), sent);
  EXPECT_EQ(log.Find(root + "b.html", At(2)), sent);
  // Not this program's log at all: a new one.
  ASSERT_TRUE(test::WriteFileBytes(log_file, "something else"));
  ValidatorLog other(log_file, root);
  EXPECT_TRUE(other.Open());
  EXPECT_EQ(other.Size(), 0u);
}

}  // namespace
}  // namespace qlm
