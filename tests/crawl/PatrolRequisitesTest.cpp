// A patrol of a styled site served by a real nginx: a page, its style sheet under a query URL,
// the sheet it imports and the picture that one names, a script, a responsive picture and a page
// without an extension, all mirrored so that the pages open offline as they look online.
#include <gtest/gtest.h>

#include "crawl/PageScanner.h"
#include "tests/crawl/PatrolHarness.h"
#include "tests/support/NginxServer.h"

namespace qlm {
namespace {

const std::string kVersion(PageScanner::kVersionElement);
const std::string kSheetMark(PageScanner::kStyleSheetVersionLine);

class PatrolRequisitesTest : public testing::Test {
 protected:
  PatrolRequisitesTest()
      : nginx_({"    location = /about { default_type text/html; }\n"
                "    location = /theme { default_type text/css; }\n",
                ""}) {}

  void SetUp() override {
    ASSERT_TRUE(nginx_.Start()) << nginx_.Error();
    Put("/index.html",
        "<html><head><link rel=\"stylesheet\" href=\"css/main.css?v=2\">"
        "<link rel=\"stylesheet\" href=\"/theme\"><script src=\"js/app.js?1\"></script></head>"
        "<body><img src=\"pics/a.jpg\" srcset=\"pics/a2.jpg 2x\"><a href=\"about\">about</a>"
        "</body></html>");
    Put("/css/main.css", "@import url(\"base.css\");\nh1{color:red}");
    Put("/css/base.css", "@import \"more.css\";body{background:url('../pics/bg.gif')}");
    // Imports run on: an imported sheet is part of the sheet that imports it.
    Put("/css/more.css", "@import 'most.css';");
    Put("/css/most.css", "i{background:url(../pics/i.gif)}");
    Put("/theme", "p{background:url(/pics/p.gif)}");
    Put("/js/app.js", "go()");
    Put("/about", "<a href=\"index.html\">home</a>");
    for (const char* picture :
         {"/pics/a.jpg", "/pics/a2.jpg", "/pics/bg.gif", "/pics/i.gif", "/pics/p.gif"}) {
      Put(picture, picture);
    }
    ProjectItem& item = patrol_.AddUrl(patrol_.Root(), nginx_.Url("/index.html"));
    item.SetOwn(ItemOption::GraphMax, 1);
    item.SetOwn(ItemOption::LocalizeLink, 1);
  }

  void Put(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(nginx_.WriteFile(path, bytes));
  }

  test::NginxServer nginx_;
  test::PatrolHarness patrol_;
};

TEST_F(PatrolRequisitesTest, MirrorsTheStyleSheetChainUnderNamesABrowserOpens) {
  ASSERT_TRUE(patrol_.Run());
  const std::string site = "127.0.0.1/";
  EXPECT_EQ(
      patrol_.Tree(),
      (std::map<std::string, std::string>{
          {site, ""},
          {site + "css/", ""},
          {site + "js/", ""},
          {site + "pics/", ""},
          {site + "index.html", "<html><head>" + kVersion +
                                    "<link rel=\"stylesheet\" href=\"css/main.css[3fv=2[3f.css\">"
                                    "<link rel=\"stylesheet\" href=\"theme[3f.css\"><script "
                                    "src=\"js/app.js[3f1[3f.js\"></script></head>"
                                    "<body><img src=\"pics/a.jpg\" srcset=\"pics/a2.jpg 2x\">"
                                    "<a href=\"about[3f.html\">about</a></body></html>"},
          // page -> style sheet -> imported sheets -> pictures.
          {site + "css/main.css[3fv=2[3f.css",
           "@import url(\"base.css\");\nh1{color:red}" + kSheetMark},
          {site + "css/base.css",
           "@import \"more.css\";body{background:url('../pics/bg.gif')}" + kSheetMark},
          {site + "css/more.css", "@import 'most.css';" + kSheetMark},
          {site + "css/most.css", "i{background:url(../pics/i.gif)}" + kSheetMark},
          {site + "theme[3f.css", "p{background:url(\"pics/p.gif\")}" + kSheetMark},
          {site + "js/app.js[3f1[3f.js", "go()"},
          {site + "about[3f.html", kVersion + "<a href=\"index.html\">home</a>"},
          {site + "pics/a.jpg", "/pics/a.jpg"},
          {site + "pics/a2.jpg", "/pics/a2.jpg"},
          {site + "pics/bg.gif", "/pics/bg.gif"},
          {site + "pics/i.gif", "/pics/i.gif"},
          {site + "pics/p.gif", "/pics/p.gif"}}));

  // A second patrol finds every file under the name the first one gave it and changes nothing.
  const auto first = patrol_.Tree();
  ASSERT_TRUE(patrol_.Run());
  EXPECT_EQ(patrol_.Tree(), first);
  EXPECT_EQ(patrol_.Counters().failed, 0);
}

}  // namespace
}  // namespace qlm
