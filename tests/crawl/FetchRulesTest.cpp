// What a fetch asks for (request lines, time limits) and how its content is told apart (cgi
// variants, executables).
#include <gtest/gtest.h>

#include <string>

#include "crawl/ContentRules.h"
#include "crawl/FetchSetup.h"
#include "net/CHttpHeaders.h"
#include "net/CUrl.h"
#include "project/AppSettings.h"
#include "project/LinkRecord.h"
#include "project/ProjectItem.h"
#include "project/SettingsDefaults.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

TEST(ContentRulesTest, ACgiReplyIsStoredAsTheVariantItsTypeOrContentTypeNames) {
  struct Case {
    int fetched_type;
    int media_type;
    const char* subtype;
    const char* variant;
  };
  const Case cases[] = {
      {kFileTypeNone, kMediaImage, "GIF", "[3f.html"},
      {kFileTypeHtml, kMediaUnknown, "", "[3f.html"},
      {kFileTypeCgi, kMediaText, "HTML", "[3f.html"},
      {kFileTypeCgi, kMediaText, "PLAIN", "[3f.others"},
      {kFileTypeCgi, kMediaImage, "JPEG", "[3f.jpg"},
      {kFileTypeJpeg, kMediaUnknown, "", "[3f.jpg"},
      {kFileTypeCgi, kMediaImage, "GIF", "[3f.gif"},
      {kFileTypeGif, kMediaText, "HTML", "[3f.gif"},
      {kFileTypeOther, kMediaText, "HTML", "[3f.others"},
      {kFileTypeCgi, kMediaUnknown, "", "[3f.others"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CgiVariantFor(c.fetched_type, c.media_type, c.subtype), c.variant)
        << c.fetched_type << " " << c.media_type << " " << c.subtype;
  }
}

TEST(ContentRulesTest, OnlyTheFullExecutableHeaderMarksABody) {
  test::TempDir dir;
  const std::string file = dir.File("tmp0.dat");
  const std::string header(kExecutableHeader);
  const struct {
    std::string bytes;
    bool executable;
  } cases[] = {
      {header + "rest of the program", true},
      {header, true},
      {header.substr(0, 14), false},
      {"MZ" + std::string(20, '\0'), false},
      {"<html></html>", false},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(test::WriteFileBytes(file, c.bytes));
    EXPECT_EQ(StartsLikeExecutable(file), c.executable) << c.bytes.size();
  }
  EXPECT_FALSE(StartsLikeExecutable(dir.File("missing.dat")));
}

class FetchSetupTest : public testing::Test {
 protected:
  FetchSetupTest() { item_.SetURL("http://h/"); }

  std::string Lines(const std::optional<FileTime>& copy_written, bool with_referer = true,
                    const Validators& validators = {}) {
    CHttpHeaders headers;
    SetFetchRequestLines(headers, record_, item_, defaults_, settings_, copy_written, with_referer,
                         validators);
    return headers.BuildRequestText();
  }

  test::TempDir dir_;
  AppSettings settings_{Profile(), dir_.Path() + "/data/"};
  SettingsDefaults defaults_{settings_};
  ProjectItem item_{ProjectItem::kRecord};
  LinkRecord record_;
};

TEST_F(FetchSetupTest, APlainFetchAsksForEverythingAndNamesItsReferer) {
  record_.referer = "http://h/from.html";
  settings_.SetStored(AppNumber::NoCache, 0);
  EXPECT_EQ(Lines(std::nullopt),
            "ACCEPT:*/*\r\nREFERER:http://h/from.html\r\nUSER-AGENT:Quillmere/1.009.0\r\n\r\n");
  EXPECT_EQ(Lines(std::nullopt, false), "ACCEPT:*/*\r\nUSER-AGENT:Quillmere/1.009.0\r\n\r\n");
}

TEST_F(FetchSetupTest, ALocalCopyIsAskedForIfModifiedSinceItWasWrittenUnlessRenewedInFull) {
  settings_.SetStored(AppNumber::NoCache, 0);
  // Thu, 01 Jan 2015 00:00:07 GMT, and a fraction of a second the format does not carry.
  const FileTime written =
      FileTime(std::chrono::seconds(1420070407)) + std::chrono::milliseconds(900);
  EXPECT_EQ(Lines(written),
            "ACCEPT:*/*\r\nIF-MODIFIED-SINCE:Thu, 01 Jan 2015 00:00:07 GMT\r\n"
            "USER-AGENT:Quillmere/1.009.0\r\n\r\n");
  item_.SetOwn(ItemOption::RenewalType, 1);
  EXPECT_EQ(Lines(written), "ACCEPT:*/*\r\nUSER-AGENT:Quillmere/1.009.0\r\n\r\n");
}

TEST_F(FetchSetupTest, ACopyStoredWithValidatorsIsAskedForWithTheServersOwnTextAndItsEtag) {
  settings_.SetStored(AppNumber::NoCache, 0);
  const FileTime written = FileTime(std::chrono::seconds(1420070407));
  const struct {
    Validators validators;
    const char* lines;
  } cases[] = {
      // The date exactly as the server wrote it, not as the format would write it.
      {{"Thu, 1 Jan 2015 00:00:07 GMT", ""},
       "ACCEPT:*/*\r\nIF-MODIFIED-SINCE:Thu, 1 Jan 2015 00:00:07 GMT\r\n"
       "USER-AGENT:Quillmere/1.009.0\r\n\r\n"},
      {{"Wed, 31 Dec 2014 10:00:00 GMT", "\"5e1-54a3\""},
       "ACCEPT:*/*\r\nIF-MODIFIED-SINCE:Wed, 31 Dec 2014 10:00:00 GMT\r\n"
       "IF-NONE-MATCH:\"5e1-54a3\"\r\nUSER-AGENT:Quillmere/1.009.0\r\n\r\n"},
      // Only an ETag: the copy's time stands in for the date.
      {{"", "W/\"x\""},
       "ACCEPT:*/*\r\nIF-MODIFIED-SINCE:Thu, 01 Jan 2015 00:00:07 GMT\r\n"
       "IF-NONE-MATCH:W/\"x\"\r\nUSER-AGENT:Quillmere/1.009.0\r\n\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lines(written, true, c.validators), c.lines) << c.validators.etag;
    // Without a copy to renew, validators ask for nothing.
    EXPECT_EQ(Lines(std::nullopt, true, c.validators),
              "ACCEPT:*/*\r\nUSER-AGENT:Quillmere/1.009.0\r\n\r\n");
  }
}

TEST_F(FetchSetupTest, CredentialsGoOnlyWhenTheRecordsBitsSayOneAndCachesAreAskedNotToAnswer) {
  item_.SetOwn(ItemOption::NoCache, 1);
  item_.SetOwn(ItemOption::UseHttpPassword, 1);
  item_.SetOwnString(ItemString::HttpUserID, "user");
  item_.SetOwnString(ItemString::HttpPassword, "pass");
  settings_.SetStored(AppNumber::UseProxyPassword, 1);
  settings_.SetStored(AppText::ProxyUserID, "pu");
  settings_.SetStored(AppText::ProxyPassword, "pp");
  const std::string without =
      "CACHE-CONTROL:no-cache\r\nPRAGMA:no-cache\r\nACCEPT:*/*\r\n"
      "PROXY-AUTHORIZATION:Basic cHU6cHA=\r\nUSER-AGENT:Quillmere/1.009.0\r\n\r\n";
  for (int bits : {0, 2, 3}) {
    record_.flags = bits;
    EXPECT_EQ(Lines(std::nullopt), without) << bits;
  }
  record_.flags = 0x11;
  EXPECT_EQ(Lines(std::nullopt),
            "CACHE-CONTROL:no-cache\r\nPRAGMA:no-cache\r\nACCEPT:*/*\r\n"
            "AUTHORIZATION:Basic dXNlcjpwYXNz\r\nPROXY-AUTHORIZATION:Basic cHU6cHA=\r\n"
            "USER-AGENT:Quillmere/1.009.0\r\n\r\n");
}

TEST_F(FetchSetupTest, TimeLimitsComeFromTheItemOrTheApplication) {
  settings_.SetStored(AppNumber::ConnectionTimeout, 30);
  item_.SetOwn(ItemOption::DataRcvTimeout, 5);
  item_.SetOwn(ItemOption::AccessInterval, 0);
  const DownloadLimits limits = ItemDownloadLimits(item_, defaults_);
  EXPECT_EQ(limits.connection, 30);
  EXPECT_EQ(limits.data, 5);
  EXPECT_EQ(limits.interval, 0);
  EXPECT_EQ(limits.reply, 60);
  EXPECT_EQ(limits.total, 0);
}

}  // namespace
}  // namespace qlm
