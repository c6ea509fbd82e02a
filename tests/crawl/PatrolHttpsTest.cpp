// Patrols of sites served over TLS by a real nginx with certificates of a test authority: the
// mirror of an https site, a site that moved from http to https, a site that links both schemes,
// and certificates that do not verify.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/crawl/PatrolHarness.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestAuthority.h"

namespace qlm {
namespace {

using test::NginxServer;
using test::TestAuthority;

std::string Picture() {
  std::string bytes;
  for (int i = 0; i < 600; ++i) bytes.push_back(static_cast<char>(i * 7 % 256));
  return bytes;
}

// The site every server of these tests serves, by path.
const std::map<std::string, std::string>& Site() {
  static const std::map<std::string, std::string> site = {
      {"/robots.txt", "User-agent: *\nDisallow: /private/\n"},
      {"/index.html",
       "<html><head><title>Secure</title></head><body>\n"
       "<a href=\"a/one.html\">one</a> <a href=\"/a/two.html\">two</a>\n"
       "<a href=\"private/x.html\">private</a> <img src=\"pics/p.jpg\">\n"
       "</body></html>\n"},
      {"/a/one.html", "<a href=\"../index.html\">up</a><a href=\"two.html\">two</a>"},
      {"/a/two.html", "two"},
      {"/private/x.html", "closed"},
      {"/pics/p.jpg", Picture()},
  };
  return site;
}

// The part of a mirror tree below `folder` + "/", keyed without it, with the site URL `site` in
// the stored pages (links to what was not stored stay absolute) written as "SITE".
std::map<std::string, std::string> Below(const std::map<std::string, std::string>& tree,
                                         const std::string& folder, const std::string& site = "") {
  std::map<std::string, std::string> part;
  for (const auto& [name, bytes] : tree) {
    if (!name.starts_with(folder + "/") || name.size() == folder.size() + 1) continue;
    std::string text = bytes;
    for (std::size_t at; !site.empty() && (at = text.find(site)) != std::string::npos;) {
      text.replace(at, site.size(), "SITE");
    }
    part.emplace(name.substr(folder.size() + 1), text);
  }
  return part;
}

class PatrolHttpsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(NginxServer::Program().empty()) << "nginx is not installed";
    ASSERT_TRUE(authority_.Valid());
    patrol_.Settings().SetStored(AppNumber::UseRobotsTxt, 1);
    patrol_.Settings().SetStored(AppText::TlsCAFile, authority_.File());
  }

  // A server with the site; over TLS with a certificate for `names` signed by `authority`
  // when one is given; `directives` go into its server block.
  std::unique_ptr<NginxServer> Serve(const TestAuthority* authority,
                                     const std::vector<std::string>& names = {"localhost"},
                                     long valid_until = 86400, std::string directives = {}) {
    auto server = std::make_unique<NginxServer>(NginxServer::Options{std::move(directives), ""});
    if (authority) {
      const TestAuthority::Issued issued = authority->Issue(
          std::string("s").append(std::to_string(++servers_)), names, -7200, valid_until);
      server->UseTls(issued.certificate, issued.key);
    }
    for (const auto& [path, bytes] : Site()) EXPECT_TRUE(server->WriteFile(path, bytes));
    EXPECT_TRUE(server->Start()) << server->Error();
    return server;
  }

  // An nginx that sends every request to the same path of `target` with a 301.
  std::unique_ptr<NginxServer> Mover(const NginxServer& target) {
    return Serve(
        nullptr, {}, 0,
        "    return 301 https://localhost:" + std::to_string(target.Port()) + "$request_uri;\n");
  }

  ProjectItem& Item(const std::string& folder, const std::string& url, int area) {
    ProjectItem& item = patrol_.AddUrl(patrol_.AddFolder(patrol_.Root(), folder), url);
    item.SetOwn(ItemOption::GraphMax, 3);
    item.SetOwn(ItemOption::PilotArea, area);
    return item;
  }

  test::TempDir dir_;
  TestAuthority authority_{dir_.Path()};
  int servers_ = 0;
  test::PatrolHarness patrol_;
};

TEST_F(PatrolHttpsTest, MirrorsAnHttpsSiteAndASiteMovedToItAsItsPlainCopy) {
  auto secure = Serve(&authority_);
  auto plain = Serve(nullptr);
  auto moved = Mover(*secure);
  Item("plain", "http://localhost:" + std::to_string(plain->Port()) + "/index.html", 0);
  Item("secure", secure->Url("/index.html"), 0);
  // The site of an item that moved is its host, wherever its port went.
  Item("moved", "http://localhost:" + std::to_string(moved->Port()) + "/index.html", 1);
  ASSERT_TRUE(patrol_.Run(nullptr));

  const std::map<std::string, std::string> tree = patrol_.Tree();
  const std::string https_site = secure->Url("");
  const std::map<std::string, std::string> expected =
      Below(tree, "plain", "http://localhost:" + std::to_string(plain->Port()));
  ASSERT_EQ(expected.at("localhost/pics/p.jpg"), Picture());
  EXPECT_EQ(expected.at("localhost/robots.txt"), Site().at("/robots.txt"));
  EXPECT_EQ(expected.count("localhost/private/x.html"), 0u);
  EXPECT_EQ(expected.size(), 8u);  // three folders, robots.txt, three pages and the picture
  // Byte for byte what the plain patrol stored: no redirect page stands anywhere in the moved
  // site's copy, and its robots.txt came over https.
  EXPECT_EQ(expected.at("localhost/index.html").find("http"), std::string::npos);
  EXPECT_TRUE(Below(tree, "secure", https_site) == expected);
  EXPECT_TRUE(Below(tree, "moved", https_site) == expected);
  for (const std::string& finished : patrol_.Finished()) {
    if (finished.starts_with("-")) {
      EXPECT_NE(finished.find("/private/x.html"), std::string::npos) << finished;
    }
  }
}

TEST_F(PatrolHttpsTest, ASiteThatLinksBothSchemesStoresOneCopyOfEachPage) {
  auto secure = Serve(&authority_);
  auto moved = Mover(*secure);
  const std::string http = "http://localhost:" + std::to_string(moved->Port());
  const std::string page = "<a href=\"" + http + "/a/two.html\">plain</a><a href=\"" +
                           secure->Url("/a/two.html") + "\">secure</a><a href=\"" + http +
                           "/mixed.html\">self</a>";
  ASSERT_TRUE(secure->WriteFile("/mixed.html", page));
  Item("mixed", secure->Url("/mixed.html"), 1);
  ASSERT_TRUE(patrol_.Run(nullptr));

  // Both links lead to the one copy, and the page reached again over http (a redirect to
  // itself) keeps its own content: no redirect page took its place.
  const std::string version = R"(<meta name="QLMVERSION" content="10060">)";
  EXPECT_EQ(Below(patrol_.Tree(), "mixed"),
            (std::map<std::string, std::string>{
                {"localhost/", ""},
                {"localhost/a/", ""},
                {"localhost/a/two.html", version + "two"},
                {"localhost/mixed.html", version + "<a href=\"a/two.html\">plain</a><a "
                                                   "href=\"a/two.html\">secure</a><a "
                                                   "href=\"mixed.html\">self</a>"},
                {"localhost/robots.txt", Site().at("/robots.txt")}}));
  EXPECT_EQ(patrol_.Counters().failed, 0);
}

TEST_F(PatrolHttpsTest, CertificatesThatDoNotVerifyFailEveryRecordWithTheReasonAndStoreNothing) {
  TestAuthority stranger(dir_.Path(), "stranger");
  struct Case {
    const char* folder;
    std::unique_ptr<NginxServer> server;
    const char* reason;
  };
  Case cases[] = {
      {"expired", Serve(&authority_, {"localhost"}, -3600), "certificate expired"},
      {"other", Serve(&authority_, {"elsewhere.example"}), "certificate name mismatch"},
      {"stranger", Serve(&stranger), "certificate not trusted"},
  };
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    Item(c.folder, c.server->Url("/index.html"), 0);
    expected.push_back(std::string("-").append(c.server->Url("/index.html")) + " (" + c.reason +
                       ")");
  }
  ASSERT_TRUE(patrol_.Run(nullptr));
  std::vector<std::string> finished = patrol_.Finished();
  std::sort(finished.begin(), finished.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(finished, expected);
  // A certificate is not retried: it will not verify the next time either.
  EXPECT_EQ(patrol_.Counters().retry, 0);
  for (const auto& [name, bytes] : patrol_.Tree()) EXPECT_TRUE(name.ends_with("/")) << name;

  // The same without a robots.txt asked first: the page itself fails for the same reason.
  patrol_.Settings().SetStored(AppNumber::UseRobotsTxt, 0);
  ASSERT_TRUE(patrol_.Run(nullptr));
  finished = patrol_.Finished();
  std::sort(finished.begin(), finished.end());
  EXPECT_EQ(finished, expected);
}

}  // namespace
}  // namespace qlm
