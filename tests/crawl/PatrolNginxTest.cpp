// A patrol of a small site served by a real nginx: folders, relative and absolute links, a frame,
// an image map, pictures, a robots.txt that closes a folder, a redirect and a cgi-style page.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "crawl/MirrorStore.h"
#include "tests/crawl/PatrolHarness.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::PatrolCounters;

const std::string kVersion = R"(<meta name="QLMVERSION" content="10060">)";

class PatrolNginxTest : public testing::Test {
 protected:
  PatrolNginxTest()
      : nginx_({"    access_log " + log_dir_.File("requests.log") +
                    " combined;\n"
                    "    location = /old.html { return 302 /new.html; }\n"
                    "    location ~ \\.cgi$ { types { } default_type text/html; }\n"
                    "    if_modified_since before;\n",
                ""}) {}

  void SetUp() override {
    ASSERT_TRUE(nginx_.Start()) << nginx_.Error();
    Put("/robots.txt", "User-agent: *\nDisallow: /private/\n");
    Put("/index.html", Index(nginx_.Url("/pages/two.html")));
    Put("/pages/one.html", R"(<a href="../index.html">up</a><img src="../pics/b.gif">)");
    Put("/pages/two.html", "two");
    Put("/pages/three.html", "three");
    Put("/frame.html", R"(<img src="pics/c.jpg">)");
    Put("/private/secret.html", "secret");
    Put("/new.html", "new");
    Put("/cgi/list.cgi", R"(<a href="../pages/two.html">two</a>)");
    Put("/pics/a.jpg", "A-JPEG");
    Put("/pics/b.gif", "B-GIF");
    Put("/pics/c.jpg", "C-JPEG");
    patrol_.Settings().SetStored(AppNumber::UseRobotsTxt, 1);
    patrol_.AddUrl(patrol_.Root(), nginx_.Url("/index.html")).SetOwn(ItemOption::GraphMax, 2);
  }

  void Put(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(nginx_.WriteFile(path, bytes));
  }

  static std::string Index(const std::string& two) {
    return "<html><head><title>Demo</title></head><body>\n"
           "<a href=\"pages/one.html\">one</a>\n"
           "<a href=\"" +
           two +
           "\">two</a>\n"
           "<a href=\"private/secret.html\">secret</a>\n"
           "<a href=\"old.html\">old</a>\n"
           "<a href=\"cgi/list.cgi?x=1\">list</a>\n"
           "<img src=\"pics/a.jpg\" usemap=\"#m\"><map name=\"m\"><area href=\"pages/three.html\">"
           "</map>\n"
           "<frameset><frame src=\"frame.html\"></frameset>\n"
           "</body></html>\n";
  }

  std::vector<std::string> Requests() const {
    std::istringstream log(test::ReadFileBytes(log_dir_.File("requests.log")));
    std::vector<std::string> lines;
    // The combined format quotes the request line first.
    for (std::string line; std::getline(log, line);) {
      const std::size_t open = line.find('"');
      const std::size_t close = line.find('"', open + 1);
      if (close != std::string::npos) lines.push_back(line.substr(open + 1, close - open - 1));
    }
    return lines;
  }

  test::TempDir log_dir_;
  test::NginxServer nginx_;
  test::PatrolHarness patrol_;
};

TEST_F(PatrolNginxTest, MirrorsTheSiteWithItsLinksMadeLocal) {
  ASSERT_TRUE(patrol_.Run());
  // One record refused by the robots.txt; the index reached again from one.html and two.html
  // reached again from the cgi page are re-used, not fetched again. The counters count URLs, not
  // links: those two links made records of their own, counted (14 and 13 before).
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{12, 0, 11, 1, 8, 8}));

  std::vector<std::string> requests = Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0], "GET /robots.txt HTTP/1.0");
  EXPECT_EQ(requests[1], "GET /index.html HTTP/1.0");
  std::sort(requests.begin() + 2, requests.end());
  EXPECT_EQ(
      std::vector<std::string>(requests.begin() + 2, requests.end()),
      (std::vector<std::string>{"GET /cgi/list.cgi?x=1 HTTP/1.0", "GET /frame.html HTTP/1.0",
                                "GET /new.html HTTP/1.0", "GET /old.html HTTP/1.0",
                                "GET /pages/one.html HTTP/1.0", "GET /pages/three.html HTTP/1.0",
                                "GET /pages/two.html HTTP/1.0", "GET /pics/a.jpg HTTP/1.0",
                                "GET /pics/b.gif HTTP/1.0", "GET /pics/c.jpg HTTP/1.0"}));

  const std::string site = "127.0.0.1/";
  EXPECT_EQ(
      patrol_.Tree(),
      (std::map<std::string, std::string>{
          {site, ""},
          {site + "cgi/", ""},
          {site + "pages/", ""},
          {site + "pics/", ""},
          {site + "robots.txt", "User-agent: *\nDisallow: /private/\n"},
          {site + "index.html", "<html><head>" + kVersion +
                                    "<title>Demo</title></head><body>\n"
                                    "<a href=\"pages/one.html\">one</a>\n"
                                    "<a href=\"pages/two.html\">two</a>\n"
                                    "<a href=\"" +
                                    nginx_.Url("/private/secret.html") +
                                    "\">secret</a>\n"
                                    "<a href=\"old.html\">old</a>\n"
                                    "<a href=\"cgi/list.cgi[3fx=1[3f.html\">list</a>\n"
                                    "<img src=\"pics/a.jpg\" usemap=\"#m\"><map name=\"m\"><area "
                                    "href=\"pages/three.html\"></map>\n"
                                    "<frameset><frame src=\"frame.html\"></frameset>\n"
                                    "</body></html>\n"},
          {site + "pages/one.html",
           kVersion + R"(<a href="../index.html">up</a><img src="../pics/b.gif">)"},
          {site + "pages/two.html", kVersion + "two"},
          {site + "pages/three.html", kVersion + "three"},
          {site + "frame.html", kVersion + R"(<img src="pics/c.jpg">)"},
          {site + "old.html",
           "<html>\r\n<head>" + kVersion +
               "<title>Redirect</title></head>\r\n<body>\r\n<a href=\"new.html\">Requested "
               "object is moved</a><br><br>\r\nGenerated by Quillmere<br>\r\n</body>\r\n"
               "</html>\r\n"},
          {site + "new.html", kVersion + "new"},
          {site + "cgi/list.cgi[3fx=1[3f.html",
           kVersion + R"(<a href="../pages/two.html">two</a>)"},
          {site + "pics/a.jpg", "A-JPEG"},
          {site + "pics/b.gif", "B-GIF"},
          {site + "pics/c.jpg", "C-JPEG"}}));
  // Only the JPEGs are offered as pictures.
  EXPECT_EQ(patrol_.Pictures().Taken().size(), 2u);
}

TEST_F(PatrolNginxTest, APatrolOfAnUnchangedSiteIsAnsweredNotModifiedAndLeavesTheMirrorAsItWas) {
  ASSERT_TRUE(patrol_.Run());
  const auto first = patrol_.Tree();
  const std::size_t first_requests = Requests().size();

  ASSERT_TRUE(patrol_.Run());
  // URLs, not links (see above).
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{12, 0, 11, 1, 8, 8}));
  EXPECT_EQ(patrol_.Tree(), first);
  // Every page and picture was asked for again with the time of its local copy, and nginx answered
  // 304: the links came from the stored pages. A 304 makes the copy count as written during this
  // patrol, so the two pages reached a second time are not asked for again.
  std::vector<std::string> all = Requests();
  std::vector<std::string> once(all.begin(),
                                all.begin() + static_cast<std::ptrdiff_t>(first_requests));
  std::vector<std::string> twice(all.begin() + static_cast<std::ptrdiff_t>(first_requests),
                                 all.end());
  std::sort(once.begin(), once.end());
  std::sort(twice.begin(), twice.end());
  EXPECT_EQ(twice, once);
}

}  // namespace
}  // namespace qlm
