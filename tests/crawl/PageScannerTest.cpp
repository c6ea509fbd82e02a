#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/HtmlKeyword.h"
#include "crawl/PageScanner.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using namespace std::string_literals;

std::vector<PageLink> LinksOf(std::string_view page, std::string_view url = "http://h/d/page.html",
                              std::string* title = nullptr) {
  PageScanner scanner;
  std::vector<PageLink> links;
  std::string ignored;
  scanner.ScanBytes(url, page, links, title ? *title : ignored);
  return links;
}

std::vector<std::string> UrlsOf(std::string_view page,
                                std::string_view url = "http://h/d/page.html") {
  std::vector<std::string> urls;
  for (const PageLink& link : LinksOf(page, url)) urls.push_back(link.url);
  return urls;
}

TEST(HtmlKeywordTest, MatchesUpperCaseTokensExactly) {
  EXPECT_EQ(HtmlKeyword("A"), kHtmlA);
  EXPECT_EQ(HtmlKeyword("/TITLE"), kHtmlEndTitle);
  EXPECT_EQ(HtmlKeyword("!--"), kHtmlComment);
  EXPECT_EQ(HtmlKeyword("QLMVERSION"), kHtmlQlmVersion);
  EXPECT_EQ(HtmlKeyword("NOFOLLOW"), kHtmlNofollow);
  EXPECT_EQ(HtmlKeyword("href"), kHtmlUnknown);
  EXPECT_EQ(HtmlKeyword("HREFX"), kHtmlUnknown);
  EXPECT_EQ(HtmlKeyword(""), kHtmlUnknown);
  // Keywords of one length that share their first byte, and tokens one byte away from them.
  EXPECT_EQ(HtmlKeyword("SRC"), kHtmlSrc);
  EXPECT_EQ(HtmlKeyword("SRCSET"), kHtmlSrcset);
  EXPECT_EQ(HtmlKeyword("SOURCE"), kHtmlSource);
  EXPECT_EQ(HtmlKeyword("SCRIPT"), kHtmlScript);
  EXPECT_EQ(HtmlKeyword("SCRIPS"), kHtmlUnknown);
  EXPECT_EQ(HtmlKeyword("TH"), kHtmlTh);
  EXPECT_EQ(HtmlKeyword("TX"), kHtmlUnknown);
  EXPECT_EQ(HtmlKeyword("BACKGROUNDS"), kHtmlUnknown);
}

TEST(PageScannerTest, EachTagAndAttributeGivesItsLinkKindInDocumentOrder) {
  const std::string page =
      "<html><head><title>T</title></head>\n"
      "<body background=\"bg.gif\">\n"
      "<a href=\"a.html\">a</a> <area href=area.html>\n"
      "<frame src='f.html'> <img src=\"i.jpg\" usemap=\"m.map\" ismap>\n"
      "<link href=\"style.css\"> <a src=\"no.html\"> <img href=\"no.gif\"> <script src=x.js>"
      "</script>\n"
      "<iframe src=\"if.html\"></iframe>\n"
      "</body></html>\n";
  const std::vector<PageLink> expected = {
      {kLinkBackground, "http://h/d/bg.gif", ""}, {kLinkAnchor, "http://h/d/a.html", ""},
      {kLinkArea, "http://h/d/area.html", ""},    {kLinkFrame, "http://h/d/f.html", ""},
      {kLinkImage, "http://h/d/i.jpg", ""},       {kLinkImageMap, "http://h/d/m.map", ""},
      {kLinkScript, "http://h/d/x.js", ""},       {kLinkFrame, "http://h/d/if.html", ""},
  };
  EXPECT_EQ(LinksOf(page), expected);
}

TEST(PageScannerTest, TagAndAttributeNamesMatchInAnyCaseAndValuesInEveryQuoting) {
  const std::string page =
      "<A HREF=\"1.html\"><a Href = '2.html'><a\thref\n=\n3.html>"
      // A tab ends no unquoted value; the link is read without it, as it is read without
      // blanks around it.
      "<a href=\"4 x.html\"><a href=5.html\t>"
      "<a href='6\"q.html'><a href=7.html/><a name=x href=8.html>";
  EXPECT_EQ(UrlsOf(page), (std::vector<std::string>{"http://h/d/1.html", "http://h/d/2.html",
                                                    "http://h/d/3.html", "http://h/d/4%20x.html",
                                                    "http://h/d/5.html", "http://h/d/6%22q.html",
                                                    "http://h/d/7.html/", "http://h/d/8.html"}));
}

TEST(PageScannerTest, ValuesThatNameNoFetchableUrlGiveNoLink) {
  const std::string page =
      "<a href=\"\"><a href=#top><a href=\"mailto:a@h\"><a href=\"ftp://h/f\">"
      "<a href=\"javascript:go()\"><a href=\"shttp://h/secure\"><a href=\"100%.html\">"
      "<img src=\"a.gif\" usemap=\"#m\"><a href>";
  EXPECT_EQ(LinksOf(page), (std::vector<PageLink>{{kLinkImage, "http://h/d/a.gif", ""}}));
}

TEST(PageScannerTest, UninterestingAttributeValuesAreSkippedOnlyToTheNextBlank) {
  // The blank inside the quoted title value ends the skip: " href=x.html" then reads as an
  // attribute of its own. This is how the scanner behaves, not an accident of the test.
  EXPECT_EQ(UrlsOf("<a title=\"a href=x.html\" href=y.html>"),
            (std::vector<std::string>{"http://h/d/x.html%22", "http://h/d/y.html"}));
}

TEST(PageScannerTest, CommentsHideTheirLinks) {
  const std::string page =
      "<!-- <a href=\"c1.html\"> --><a href=1.html>"
      "<!-- a -- b <a href=c2.html> --><a href=2.html>"
      "<!--><a href=3.html>"
      "<!---- x -- --><a href=4.html>";
  EXPECT_EQ(UrlsOf(page), (std::vector<std::string>{"http://h/d/1.html", "http://h/d/2.html",
                                                    "http://h/d/3.html", "http://h/d/4.html"}));
}

TEST(PageScannerTest, TitleIsTheTextOfTheLastNonEmptyTitleElement) {
  struct Case {
    std::string page, title;
  };
  const std::vector<Case> cases = {
      {"<title>One</title>", "One"},
      {"<TITLE lang=ja>\x93\xfa\x96\x7b</TITLE>", "\x93\xfa\x96\x7b"},
      {"<title>One</title><title>Two</title>", "Two"},
      {"<title>One</title><title></title>", "One"},
      {"<title>A <b>bold</b> one</title>", "A <b>bold</b> one"},
      // As a reader sees it: references decoded, blanks and line ends folded.
      {"<title>\n   News &amp; Events\r\n\t</title>", "News & Events"},
      {"<title>One</title><title> \n </title>", "One"},
      {"<title>a&lt;b&#62;c&copy;</title>", "a<b>c&copy;"},
      {"</title>", ""},
      {"<title>Unterminated", ""},
  };
  for (const Case& c : cases) {
    std::string title = "stale";
    LinksOf(c.page, "http://h/", &title);
    EXPECT_EQ(title, c.title) << c.page;
  }
}

TEST(PageScannerTest, BaseResolvesTheLinksThatFollowIt) {
  EXPECT_EQ(
      UrlsOf("<a href=a.html><base href=\"http://b/x/\"><a href=c.html><a href=/r.html>"),
      (std::vector<std::string>{"http://h/d/a.html", "http://b/x/c.html", "http://b/r.html"}));
  // A relative BASE resolves against the page, a second one against the first.
  EXPECT_EQ(UrlsOf("<base href=\"sub/\"><a href=a.html><base href=\"../o/\"><a href=b.html>"),
            (std::vector<std::string>{"http://h/d/sub/a.html", "http://h/d/o/b.html"}));
}

TEST(PageScannerTest, RobotsMetaWithNofollowOrNoneEndsTheScanAfterIt) {
  struct Case {
    std::string meta;
    bool stops;
  };
  const std::vector<Case> cases = {
      {"<meta name=\"robots\" content=\"noindex,nofollow\">", true},
      {"<META NAME=ROBOTS CONTENT=NOFOLLOW>", true},
      {"<meta name=robots content=\"none\">", true},
      {"<meta name=\"robots\" content=\"noindex, nofollow\">", false},  // " NOFOLLOW" is no word
      {"<meta name=\"robots\" content=\"index,follow,all,noindex\">", false},
      {"<meta content=\"nofollow\" name=\"robots\">", false},  // nothing armed yet
      {"<meta name=\"description\" content=\"nofollow\">", false},
      {"<meta name=\"robots\" content>", false},
  };
  for (const Case& c : cases) {
    PageScanner scanner;
    std::vector<PageLink> links;
    std::string title;
    scanner.ScanBytes("http://h/", "<a href=before.html>" + c.meta + "<a href=after.html>", links,
                      title);
    EXPECT_EQ(links.size(), c.stops ? 1u : 2u) << c.meta;
    EXPECT_EQ(scanner.Stopped(), c.stops) << c.meta;
  }
}

TEST(PageScannerTest, VersionMarkComesFromTheQlmVersionMeta) {
  struct Case {
    std::string page;
    int version;
  };
  const std::vector<Case> cases = {
      {"<html>", PageScanner::kVersionUnmarked},
      {"<meta name=\"QLMVERSION\" content=\"10060\">", 10060},
      {"<meta name=qlmversion content=\"1,10070\">", 10070},
      {"<meta content=\"10060\" name=\"QLMVERSION\">", PageScanner::kVersionUnmarked},
  };
  for (const Case& c : cases) {
    PageScanner scanner;
    std::vector<PageLink> links;
    std::string title;
    scanner.ScanBytes("http://h/", c.page, links, title);
    EXPECT_EQ(scanner.VersionMark(), c.version) << c.page;
  }
}

struct AbsoluteCase {
  std::string page_url;
  std::string link;
  std::string result;  // empty: no link
};

// Each link in a page of `prefix`, the link's A element and `suffix`.
void ExpectAbsolute(const std::vector<AbsoluteCase>& cases, std::string_view prefix,
                    std::string_view suffix = {}) {
  for (const AbsoluteCase& c : cases) {
    PageScanner scanner;
    std::vector<PageLink> links;
    std::string title;
    scanner.ScanBytes(c.page_url,
                      std::string(prefix) + "<a href=\"" + c.link + "\">" + std::string(suffix),
                      links, title);
    if (c.result.empty()) {
      EXPECT_TRUE(links.empty()) << c.link << " gave " << links[0].url;
    } else {
      ASSERT_EQ(links.size(), 1u) << c.link;
      EXPECT_EQ(links[0].url, c.result) << c.link;
    }
  }
}

TEST(PageScannerTest, MakeAbsoluteResolvesAgainstThePageUrl) {
  ExpectAbsolute(
      {
          {"http://h/a/b/page.html", "x.html", "http://h/a/b/x.html"},
          {"http://h/a/b/page.html", "../x.html", "http://h/a/x.html"},
          {"http://h/a/b/page.html", "./c/../x.html", "http://h/a/b/x.html"},
          {"http://h/a/b/page.html", "/x.html", "http://h/x.html"},
          {"http://h:8080/a/page.html", "/x.html", "http://h:8080/x.html"},
          {"http://h/", "x.html", "http://h/x.html"},
          {"http://h/a/", "x.html", "http://h/a/x.html"},
          {"http://h/a/b.html", "http://o/P.HTML#f", "http://o/P.HTML#f"},
          {"http://h/a/b.html", "HTTP://o", "http://o/"},
          {"http://h/a/b.html", "file://h/c/x.txt", "file://h/c/x.txt"},
          // A link that names its host without a scheme takes the page's scheme.
          {"http://h/a/b.html", "//cdn.example/x.js", "http://cdn.example/x.js"},
          // Escapes are decoded once and written again in normalized form.
          {"http://h/a/b.html", "%7euser/x.html", "http://h/a/%7euser/x.html"},
          {"http://h/a/b.html", "a%2541.html", "http://h/a/a%2541.html"},
          {"http://h/a/b.html", "http://h/a%2541.html", "http://h/a%2541.html"},
          // Blanks around a link and line breaks inside it are no part of it.
          {"http://h/a/b.html", "  x.html\n", "http://h/a/x.html"},
          {"http://h/a/b.html", "\thttp://o/p.html ", "http://o/p.html"},
          {"http://h/a/b.html", "x/\r\n  y.html", "http://h/a/x/%20%20y.html"},
          {"http://h/a/b.html", "a b.html", "http://h/a/a%20b.html"},
          {"http://h/a/b.html", " \n", ""},
          {"http://h/a/b.html", " #top", ""},
          // Character references stand for their characters, as browsers read links.
          {"http://h/a/b.html", "list.php?a=1&amp;b=2", "http://h/a/list.php?a=1&b=2"},
          {"http://h/a/b.html", "x.cgi?a=1&#38;b=2&#x26;c=&#X3D;", "http://h/a/x.cgi?a=1&b=2&c=="},
          {"http://h/a/b.html", "q.cgi?s=&lt;&gt;&quot;&apos;", "http://h/a/q.cgi?s=%3c%3e%22'"},
          {"http://h/a/b.html", "&#47;x.html", "http://h/x.html"},
          // What is no reference, or one to a character beyond ASCII, stays as written.
          {"http://h/a/b.html", "x.cgi?a=1&b=2&amp", "http://h/a/x.cgi?a=1&b=2&amp"},
          {"http://h/a/b.html", "x.cgi?c=&copy;&#233;&#;&#x;&#0;",
           "http://h/a/x.cgi?c=&copy;&#233;&#;&#x;&#0;"},
          // A link of a query alone asks the page itself with that query.
          {"http://h/a/list.php?p=1", "?p=2", "http://h/a/list.php?p=2"},
          {"http://h/a/", "?p=2", "http://h/a/?p=2"},
          {"http://h/", "?p=2", "http://h/?p=2"},
          // Brackets are the escapes of local names.
          {"http://h/a/b.html", "p[20q.html", "http://h/a/p%20q.html"},
          // A bracket that starts no escape stays a bracket.
          {"http://h/a/b.html", "img[1].jpg", "http://h/a/img%5b1%5d.jpg"},
          // A climb above the root stops there: a page this program did not write names no host
          // that way.
          {"http://h1/a.html", "../../h2/p.html", "http://h1/h2/p.html"},
          {"http://h1/a/b/c.html", "../../../../evil.invalid/x.html",
           "http://h1/evil.invalid/x.html"},
          {"file://h1/d/p.html", "../../x/p.html", "file://h1/x/p.html"},
          {"http://h/a/b.html", "../../..", "http://h/"},
          // https links are links; a link without a scheme takes its page's.
          {"http://h/a/b.html", "https://h/x", "https://h/x"},
          {"https://h/a/b.html", "//g/x.jpg", "https://g/x.jpg"},
          {"https://h:8443/a/b.html", "/c.html", "https://h:8443/c.html"},
          {"https://h/a/b.html", "../c/d.html", "https://h/c/d.html"},
          {"https://h1/a.html", "../../h2/p.html", "https://h1/h2/p.html"},
          {"http://h/a/b.html", "http://bad_host/x", ""},
          {"http://h/a/b.html", "c:/x.html", ""},
          {"http://h/a/b.html", "%zz.html", ""},
      },
      "");
}

TEST(PageScannerTest, RewrittenPagesReadCgiLinksBackWithoutTheirVariant) {
  const std::string marked = "<meta name=\"QLMVERSION\" content=\"10060\">";
  ExpectAbsolute(
      {
          {"http://h/a/p.html", "b.cgi[3fx=1[3f.html", "http://h/a/b.cgi?x=1"},
          {"http://h/a/p.html", "b.cgi[3f.jpg", "http://h/a/b.cgi"},
          {"http://h/a/p.html", "b.cgi[3f[3f.gif", "http://h/a/b.cgi?"},
          {"http://h/a/p.html", "b.cgi[3fq=a[20b[3f.others", "http://h/a/b.cgi?q=a%20b"},
          {"http://h/a/p.html", "b.cgi[3f.html#f", "http://h/a/b.cgi#f"},
          {"http://h/a/p.html", "b.cgi[3fa%23b[3f.html", "http://h/a/b.cgi?a#b"},
          // A cgi link written without a variant (to a copy that was never stored) keeps its query.
          {"http://h/a/p.html", "b.cgi[3fq=a[20b", "http://h/a/b.cgi?q=a%20b"},
          // Absolute links are taken as they stand.
          {"http://h/a/p.html", "http://h/b.cgi?x=1?.html", "http://h/b.cgi?x=1%3f.html"},
          {"http://h/a/p.html", "x.html[3f.html", "http://h/a/x.html?.html"},
      },
      marked);
  // A rewritten file page reaches another host's files as "//h2/p.html" did, by a climb out of
  // its own host's folder; a climb that stays inside it stays on the page's host.
  ExpectAbsolute({{"http://h1/a.html", "../../h2/p.html", "http://h2/p.html"},
                  {"http://h1/a/b/c.html", "../../../h2/q/p.html", "http://h2/q/p.html"},
                  {"file://h1/d/p.html", "../../h2/p.html", "file://h2/p.html"},
                  {"file://h1/d/p.html", "//h2/p.html", "file://h2/p.html"},
                  {"file://h1/d/p.html", "../x/p.html", "file://h1/x/p.html"},
                  {"file://h1/p.html", "../h2/p.html", "file://h2/p.html"}},
                 marked);
  // The version element this program writes marks the whole page, links before it too.
  ExpectAbsolute({{"http://h/a/p.html", "b.cgi[3fx=1[3f.html", "http://h/a/b.cgi?x=1"}}, "<p>",
                 std::string(PageScanner::kVersionElement));
  // Without the version mark the variant stays in the query.
  ExpectAbsolute({{"http://h/a/p.html", "b.cgi[3fx=1[3f.html", "http://h/a/b.cgi?x=1%3f.html"}},
                 "");
}

TEST(PageScannerTest, CutPagesEndQuietlyWithTheLinksReadSoFar) {
  const std::string page =
      "<html><head><title>T</title><meta name=robots content=index></head>"
      "<body background='b.gif'><!-- c --><a href=\"one.html\">1</a>"
      "<img src=two.gif usemap=m.map><frame src='three.html'><a href=four.html>";
  const std::vector<PageLink> full = LinksOf(page);
  ASSERT_EQ(full.size(), 6u);
  for (std::size_t cut = 0; cut <= page.size(); ++cut) {
    const std::vector<PageLink> part = LinksOf(std::string_view(page).substr(0, cut));
    ASSERT_LE(part.size(), full.size()) << cut;
    // Every link but one cut in its value is one of the whole page's links, in order.
    for (std::size_t i = 0; i + 1 < part.size(); ++i) ASSERT_EQ(part[i], full[i]) << cut;
  }
}

TEST(PageScannerTest, LongTokensAndValuesAreCutNotOverflowed) {
  std::string long_value;
  while (long_value.size() < 5000) long_value += "abcdefghi/";
  const std::string long_tag(1000, 'T');
  const auto urls = UrlsOf("<" + long_tag + " href=x.html><a href=\"" + long_value + "\">");
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_EQ(urls[0], "http://h/d/" + long_value.substr(0, PageScanner::kMaxValue));
}

TEST(PageScannerTest, ScanReadsTheFileAndFailsWhenItCannot) {
  test::TempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("p.html"), "<title>T</title><a href=x.html>"));
  PageScanner scanner;
  std::vector<PageLink> links;
  std::string title;
  EXPECT_TRUE(scanner.Scan("http://h/", dir.File("p.html"), links, title));
  EXPECT_EQ(links, (std::vector<PageLink>{{kLinkAnchor, "http://h/x.html", ""}}));
  EXPECT_EQ(title, "T");

  links.clear();
  EXPECT_FALSE(scanner.Scan("http://h/", dir.File("missing.html"), links, title));
  EXPECT_EQ(scanner.Error(), PageScanner::kScanUnreadable);
  EXPECT_FALSE(scanner.Scan("http://h/", dir.Path(), links, title));
  EXPECT_TRUE(links.empty());
}

}  // namespace
}  // namespace qlm
