#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "net/RobotsRules.h"

namespace qlm {
namespace {

// A robots.txt file and what it answers for some paths.
struct RobotsCase {
  std::string what;
  std::string file;
  std::vector<std::pair<std::string, int>> verdicts;  // path, 1 allowed / 0 refused
};

void ExpectVerdicts(const std::vector<RobotsCase>& cases) {
  for (const RobotsCase& c : cases) {
    for (const auto& [path, verdict] : c.verdicts) {
      EXPECT_EQ(RobotsVerdict(c.file, kRobotsAgent, path), verdict)
          << c.what << "\npath: " << path << "\nfile:\n"
          << c.file;
    }
  }
}

TEST(RobotsVerdict, FirstApplyingRecordAndFirstMatchingRuleDecide) {
  ExpectVerdicts({
      {"a record for everyone",
       "User-agent: *\r\nDisallow: /cgi-bin/\r\n",
       {{"/cgi-bin/x", 0}, {"/cgi-bin/", 0}, {"/cgi-bin", 1}, {"/index.html", 1}, {"/", 1}}},
      {"the record for * comes first, so the one naming the agent is never read",
       "User-agent: *\r\nDisallow: /a\r\n\r\nUser-agent: Quillmere\r\nDisallow: /\r\n",
       {{"/a/b", 0}, {"/b", 1}}},
      {"records for other agents are passed over",
       "User-agent: other\r\nDisallow: /\r\n\r\nUser-agent: Quillmere\r\nDisallow: /q\r\n"
       "\r\nUser-agent: *\r\nDisallow: /\r\n",
       {{"/q", 0}, {"/x", 1}}},
      {"no record applies", "User-agent: other\r\nDisallow: /\r\n", {{"/", 1}, {"/x", 1}}},
      {"the first matching rule decides, not the longest",
       "User-agent: *\r\nDisallow: /p\r\nAllow: /p/q\r\n",
       {{"/p/q/r", 0}, {"/p", 0}, {"/q", 1}}},
      {"an Allow before a wider Disallow wins",
       "User-agent: *\r\nAllow: /p/q\r\nDisallow: /p\r\n",
       {{"/p/q/r", 1}, {"/p/x", 0}, {"/x", 1}}},
      {"an applying record without a matching rule allows",
       "User-agent: *\r\nDisallow: /x\r\nUser-agent: Quillmere\r\nDisallow: /\r\n",
       {{"/y", 1}}},
      {"several User-agent lines form one record, unknown lines among them",
       "User-agent: a\r\nVisit-time: 0100-0400\r\nUser-agent: Quillmere\r\nDisallow: /x\r\n",
       {{"/x", 0}, {"/y", 1}}},
      {"blank lines do not end a run of User-agent lines",
       "User-agent: other\r\n\r\nUser-agent: *\r\nDisallow: /\r\n",
       {{"/x", 0}}},
      {"unknown lines among the rules are skipped",
       "User-agent: *\r\nCrawl-delay: 10\r\nSitemap: http://host/s.xml\r\nDisallow: /x\r\n",
       {{"/x", 0}, {"/y", 1}}},
      {"rules before the first User-agent line belong to no record",
       "Disallow: /\r\nUser-agent: *\r\nDisallow: /x\r\n",
       {{"/y", 1}, {"/x", 0}}},
      {"a record without rules at the end of the file",
       "User-agent: other\r\nDisallow: /\r\nUser-agent: *\r\n",
       {{"/x", 1}}},
  });
}

TEST(RobotsVerdict, MatchesTheAgentTokenExactlyOrTheStar) {
  ExpectVerdicts({
      {"a token with a version", "User-agent: Quillmere/1.009.0\r\nDisallow: /\r\n", {{"/", 0}}},
      {"a token in a comment-like list",
       "User-agent: Quillmere (+http://x)\r\nDisallow: /\n",
       {{"/", 0}}},
      {"case counts in the token", "User-agent: quillmere\r\nDisallow: /\r\n", {{"/", 1}}},
      {"a longer token", "User-agent: Quillmere-bot\r\nDisallow: /\r\n", {{"/", 1}}},
      {"a shorter token", "User-agent: Quill\r\nDisallow: /\r\n", {{"/", 1}}},
      {"a star with more after it", "User-agent: *bot\r\nDisallow: /\r\n", {{"/", 1}}},
      {"an empty token", "User-agent:\r\nDisallow: /\r\n", {{"/", 1}}},
      {"field names in any case",
       "user-agent: *\r\ndisallow: /x\r\nALLOW: /y\r\nDISALLOW: /\r\n",
       {{"/x", 0}, {"/y", 1}, {"/z", 0}}},
      {"a blank before the colon makes a User-agent line unknown",
       "User-agent : *\r\nDisallow: /\r\n",
       {{"/", 1}}},
      {"a blank before the colon makes a rule line unknown",
       "User-agent: *\r\nDisallow : /\r\nDisallow: /x\r\n",
       {{"/y", 1}, {"/x", 0}}},
  });
}

TEST(RobotsVerdict, ComparesRuleValuesAndPathsBothDecoded) {
  ExpectVerdicts({
      {"escapes of either case decode alike, in the rule and in the path",
       "User-agent: *\r\nDisallow: /a%7Ex\r\nDisallow: /b%7ex\r\nDisallow: /%63gi\r\n",
       {{"/a~x", 0}, {"/b~xy", 0}, {"/cgi", 0}, {"/a%7ex", 0}, {"/%63gi", 0}, {"/a%7Fx", 1}}},
      // CUrl writes a "~" escaped: the rule refuses the paths under it as the URLs spell them.
      // A "~" cannot start a value's tail that is then ignored either: "/~joe/" cut to "/"
      // would refuse the whole site.
      {"a literal tilde matches the escaped path",
       "User-agent: *\r\nDisallow: /~joe/\r\n",
       {{"/%7ejoe/", 0}, {"/%7ejoe/pics/a.jpg", 0}, {"/~joe/", 0}, {"/", 1}, {"/index.html", 1}}},
      {"an escaped blank and an escaped byte of Shift_JIS text",
       "User-agent: *\r\nDisallow: /my%20files/\r\nDisallow: /%93%fa/\r\n",
       {{"/my%20files/a.html", 0}, {"/my%20file.html", 1}, {"/%93%FA/x", 0}, {"/%93/x", 1}}},
      {"a path whose escape is broken is compared as it stands",
       "User-agent: *\r\nDisallow: /a%zz\r\nDisallow: /b\r\n",
       {{"/a%zz", 1}, {"/b%zz", 0}}},
      {"a value without a leading slash", "User-agent: *\r\nDisallow: x\r\n", {{"/x", 1}}},
  });
}

TEST(RobotsVerdict, TreatsEveryLineEndAlike) {
  // Comments and unknown lines are where a reader that knows only one line end goes wrong.
  const std::string lf =
      "# robots.txt for host\n"
      "User-agent: other # a bot we dislike\n"
      "Disallow: /\n"
      "\n"
      "Sitemap: http://host/sitemap.xml\n"
      "User-agent: *\n"
      "# private things\n"
      "Unknown line without a colon\n"
      "Disallow: /private # keep out\n"
      "Allow: /\n"
      "Disallow: /never\n";
  const std::vector<std::pair<std::string, int>> verdicts = {
      {"/private/a", 0}, {"/privateer", 0}, {"/public", 1}, {"/never", 1}, {"/", 1}};
  auto with_ends = [&](const std::string& end) {
    std::string out;
    for (char c : lf) {
      if (c == '\n') {
        out += end;
      } else {
        out += c;
      }
    }
    return out;
  };
  std::string mixed = lf;
  for (size_t i = 0, n = 0; i < mixed.size(); ++i) {
    if (mixed[i] != '\n') continue;
    if (n % 3 == 1) mixed[i] = '\r';
    if (n % 3 == 2) mixed.insert(i++, 1, '\r');
    ++n;
  }
  ExpectVerdicts({{"LF", lf, verdicts},
                  {"CR LF", with_ends("\r\n"), verdicts},
                  {"CR", with_ends("\r"), verdicts},
                  {"mixed", mixed, verdicts}});
}

TEST(RobotsVerdict, IgnoresTheRestOfALineAfterATokenOrValue) {
  ExpectVerdicts({
      {"text after the token and the value does not reach the next line",
       "User-agent: Quillmere and friends: all\r\nDisallow: /x and more: here\r\n"
       "Disallow: /y\r\n",
       {{"/x", 0}, {"/y", 0}, {"/and", 1}, {"/z", 1}}},
      {"a tab ends a value", "User-agent: *\nDisallow: /a\t/b\n", {{"/a", 0}, {"/b", 1}}},
      {"a comment right after a value", "User-agent: *\nDisallow: /a#b\n", {{"/a", 0}}},
      {"a byte that URLs escape names the escaped path",
       "User-agent: *\nDisallow: /a\"b\nDisallow: /c\n",
       {{"/a", 1}, {"/a%22b", 0}, {"/c", 0}}},
  });
}

TEST(RobotsVerdict, AnEmptyDisallowRefusesNothingAndAnEmptyAllowAllowsAll) {
  ExpectVerdicts({
      {"an empty Disallow", "User-agent: *\r\nDisallow:\r\n", {{"/", 1}, {"/x", 1}}},
      {"an empty Disallow with blanks", "User-agent: *\r\nDisallow: \t \r\n", {{"/x", 1}}},
      {"an empty Disallow with a comment", "User-agent: *\nDisallow: # none\n", {{"/x", 1}}},
      {"an empty Disallow at the end of the file", "User-agent: *\nDisallow:", {{"/x", 1}}},
      {"an empty Disallow does not take the next line as its value",
       "User-agent: *\r\nDisallow:\r\n/x\r\nDisallow: /y\r\n",
       {{"/x", 1}, {"/y", 0}}},
      {"nor the next record's User-agent line",
       "User-agent: *\r\nDisallow:\r\nUser-agent: Quillmere\r\nDisallow: /\r\n",
       {{"/x", 1}}},
      {"an empty Allow matches every path", "User-agent: *\nAllow:\nDisallow: /\n", {{"/x", 1}}},
  });
}

TEST(RobotsVerdict, ARuleWithABrokenEscapeNeverMatches) {
  ExpectVerdicts({
      {"broken escapes in Disallow",
       "User-agent: *\nDisallow: /%\nDisallow: /a%4\nDisallow: /b%zz\nDisallow: /c\n",
       {{"/", 1}, {"/a", 1}, {"/a%4", 1}, {"/b%zz", 1}, {"/x", 1}, {"/c", 0}}},
      {"a broken escape in Allow",
       "User-agent: *\nAllow: /%g0\nDisallow: /\n",
       {{"/", 0}, {"/%g0", 0}}},
  });
}

TEST(RobotsVerdict, ReadsTruncatedAndEmptyFiles) {
  static constexpr char kNulFile[] = "User-agent: *\nDisallow: /a\0b\nDisallow: /c\0";
  ExpectVerdicts({
      {"empty", "", {{"/", 1}}},
      {"blanks and comments only", " \t\r\n# all\r\n  # of it\n\r", {{"/", 1}}},
      {"a value cut by the end of the file is complete",
       "User-agent: *\nDisallow: /pri",
       {{"/private", 0}, {"/pub", 1}}},
      {"a token cut by the end of the file is complete", "Disallow: /\nUser-agent: *", {{"/", 1}}},
      {"a field name cut by the end of the file", "User-agent: *\nDisallow", {{"/", 1}}},
      {"a comment to the end of the file", "User-agent: *\nDisallow: /x # end", {{"/x", 0}}},
      {"NUL bytes are ordinary bytes",
       std::string(kNulFile, sizeof kNulFile - 1),
       {{"/a", 0}, {"/c", 0}, {"/b", 1}}},
  });
}

TEST(RobotsUrl, UsesTheRecordsOwnUrlElseTheSiteOfTheLink) {
  EXPECT_EQ(RobotsUrl("http://elsewhere/robots.txt", "http://host/a"),
            "http://elsewhere/robots.txt");
  EXPECT_EQ(RobotsUrl("", "http://host:8080/a/b.html?q"), "http://host:8080/robots.txt");
  EXPECT_EQ(RobotsUrl("", "HTTP://Host"), "http://Host/robots.txt");
  EXPECT_EQ(RobotsUrl("", "http://host:/x"), "http://host:/robots.txt");
  EXPECT_EQ(RobotsUrl("", "mailto:a@b"), std::nullopt);
  EXPECT_EQ(RobotsUrl("", "http://bad_host/"), std::nullopt);
}

TEST(RobotsVerdictForLink, AsksForTheStoredCopyAndTestsTheLinksEscapedPath) {
  std::map<std::string, std::string> copies = {
      {"http://host/robots.txt",
       "User-agent: *\r\nDisallow: /cgi-bin/\r\nDisallow: /a%20b\r\nDisallow: /%7Ejoe\r\n"},
      {"http://empty/robots.txt", ""},
  };
  std::vector<std::string> asked;
  const RobotsCopyReader read = [&](const std::string& robots_url) {
    asked.push_back(robots_url);
    auto it = copies.find(robots_url);
    return it == copies.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
  const std::string robots = "http://host/robots.txt";
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/cgi-bin/x.cgi?a=1", read), 0);
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/x/../cgi-bin/", read), 0);
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/index.html?cgi-bin", read), 1);
  // Rules written escaped refuse the links as they are written, escaped or not.
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/a%20b", read), 0);
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/a b.html", read), 0);
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/~joe/", read), 0);
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/%7Ejoe/p.html", read), 0);
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/joe/", read), 1);
  EXPECT_EQ(RobotsVerdictForLink("http://empty/robots.txt", "http://empty/x", read), 1);
  EXPECT_EQ(asked.size(), 9u);
  EXPECT_EQ(asked.front(), robots);

  // No readable copy, or a link that is not a URL: refused.
  EXPECT_EQ(RobotsVerdictForLink("http://other/robots.txt", "http://other/x", read), 0);
  EXPECT_EQ(RobotsVerdictForLink(robots, "http://host/..", read), 0);
  EXPECT_EQ(RobotsVerdictForLink(robots, "mailto:a@host", read), 0);
}

}  // namespace
}  // namespace qlm
