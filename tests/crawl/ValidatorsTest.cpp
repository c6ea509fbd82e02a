// What a server said about a stored file's version: read from the reply as sent, kept with the
// file, carried over when a page is rewritten.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <cstring>

#include "crawl/MirrorFiles.h"
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

TEST(ValidatorsTest, AFileKeepsItsValidatorsAndARewriteOfItTakesThemOver) {
  test::TempDir dir;
  const std::string page = dir.File("page.html");
  ASSERT_TRUE(test::WriteFileBytes(page, "old"));
  EXPECT_TRUE(ReadValidators(page).Empty());
  const Validators sent{"Sat, 02 Mar 2024 10:00:00 GMT", "\"65e2f-1a\""};
  ASSERT_TRUE(KeepValidators(page, sent));
  EXPECT_EQ(ReadValidators(page), sent);

  // The staging file last held another page with validators of its own: they do not stay.
  const std::string staging = dir.File("staging");
  ASSERT_TRUE(test::WriteFileBytes(staging, "other"));
  ASSERT_TRUE(KeepValidators(staging, Validators{"", "\"other\""}));
  ASSERT_EQ(ReplaceFileVia(staging, page, "rewritten", true, nullptr), 0);
  EXPECT_EQ(test::ReadFileBytes(page), "rewritten");
  EXPECT_EQ(ReadValidators(page), sent);

  // A reply without validators takes the old ones away.
  ASSERT_TRUE(KeepValidators(page, Validators{}));
  EXPECT_TRUE(ReadValidators(page).Empty());
  EXPECT_FALSE(KeepValidators(dir.File("missing"), sent));
}

// A mirror written before both validators went into one attribute keeps its validators; where a
// file has the new attribute, the old ones (a replaced file's, taken back by an exchange) are not
// read, and a reply without validators takes both kinds away.
TEST(ValidatorsTest, ValidatorsOfTheOldKindAreReadUntilTheFileGetsNewOnes) {
  test::TempDir dir;
  const std::string page = dir.File("page.html");
  ASSERT_TRUE(test::WriteFileBytes(page, "old"));
  const auto put_old = [&](const char* last_modified, const char* etag) {
    ASSERT_EQ(::setxattr(page.c_str(), "user.quillmere.last-modified", last_modified,
                         std::strlen(last_modified), 0), 0);
    ASSERT_EQ(::setxattr(page.c_str(), "user.quillmere.etag", etag, std::strlen(etag), 0), 0);
  };
  put_old("Fri, 01 Mar 2024 10:00:00 GMT", "\"old\"");
  EXPECT_EQ(ReadValidators(page), (Validators{"Fri, 01 Mar 2024 10:00:00 GMT", "\"old\""}));
  const Validators sent{"", "\"65e2f-1a\""};
  ASSERT_TRUE(KeepValidators(page, sent));
  EXPECT_EQ(ReadValidators(page), sent);
  ASSERT_TRUE(KeepValidators(page, Validators{}));
  EXPECT_TRUE(ReadValidators(page).Empty());
}

}  // namespace
}  // namespace qlm
