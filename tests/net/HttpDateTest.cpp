#include <gtest/gtest.h>

#include <clocale>

#include "net/HttpDate.h"

namespace qlm {
namespace {

TEST(HttpDate, ReadsEachOfTheThreeFormsWithTheYearAsWritten) {
  struct Case {
    const char* text;
    HttpDate want;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", {1994, 11, 6, 8, 49, 37}},
      {"Sunday, 06-Nov-94 08:49:37 GMT", {94, 11, 6, 8, 49, 37}},
      {"Sun Nov  6 08:49:37 1994", {1994, 11, 6, 8, 49, 37}},
      {"Thu, 1 Jan 1970 00:00:00 GMT", {1970, 1, 1, 0, 0, 0}},
      {"Wed, 31 Dec 2025 23:59:60 GMT  ", {2025, 12, 31, 23, 59, 60}},
      {"tue, 02 FEB 2021 10:00:00 gmt", {2021, 2, 2, 10, 0, 0}},
  };
  for (const auto& c : cases) {
    HttpDate got;
    ASSERT_TRUE(ParseHttpDate(c.text, &got)) << c.text;
    EXPECT_EQ(got, c.want) << c.text;
  }
}

TEST(HttpDate, RejectsMissingTooLongOrUnknownFieldsAndLeavesTheOutputAlone) {
  const char* bad[] = {
      "",
      "Sun, 06 Nov 1994 08:49:37",           // no GMT
      "Sun, 06 Nov 1994 08:49:37 UTC",       // another zone
      "Sun, 006 Nov 1994 08:49:37 GMT",      // day too long
      "Sun, 06 Nov 94 08:49:37 GMT",         // two-digit year in the RFC 1123 form
      "Sunday, 06-Nov-1994 08:49:37 GMT",    // four-digit year in the RFC 850 form
      "Sun, 06 Nox 1994 08:49:37 GMT",       // unknown month
      "Sonday, 06-Nov-94 08:49:37 GMT",      // unknown weekday
      "Sun, 06 Nov 1994 8:49:37 GMT",        // one-digit hour
      "Sun, 06 Nov 1994 24:00:00 GMT",       // hour out of range
      "Sun, 32 Nov 1994 08:49:37 GMT",       // day out of range
      "Sun, 06 Nov 1994 08:49:37 GMT junk",  // text after the date
      "Sun Nov  6 08:49:37 94",              // short year in asctime
  };
  for (const char* text : bad) {
    HttpDate got{1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(ParseHttpDate(text, &got)) << text;
    EXPECT_EQ(got, (HttpDate{1, 2, 3, 4, 5, 6})) << text;
  }
}

TEST(HttpDate, FormatsTheRfc1123FormInEnglishWhateverTheLocale) {
  std::setlocale(LC_ALL, "");
  EXPECT_EQ(FormatHttpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(FormatHttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  HttpDate back;
  ASSERT_TRUE(ParseHttpDate(FormatHttpDate(1700000000), &back));
  EXPECT_EQ(back, (HttpDate{2023, 11, 14, 22, 13, 20}));
}

}  // namespace
}  // namespace qlm
