// `QLM --mirror URL`: the quick mirror, as a user types it, against a real nginx.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/HeadlessPatrol.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

TEST(MirrorCommand, WritesAProjectFileAndMirrorsTheSiteIntoTheFolder) {
  if (test::NginxServer::Program().empty()) GTEST_SKIP() << "nginx is not installed";
  test::NginxServer nginx;
  ASSERT_TRUE(nginx.WriteFile(
      "/d/index.html", "<link rel=stylesheet href=\"s.css?v=1\"><a href=\"two.html\">2</a>"));
  ASSERT_TRUE(nginx.WriteFile("/d/s.css", "b{background:url(p.gif)}"));
  ASSERT_TRUE(nginx.WriteFile("/d/p.gif", "GIF"));
  ASSERT_TRUE(nginx.WriteFile("/d/two.html", "<a href=\"three.html\">3</a>"));
  ASSERT_TRUE(nginx.WriteFile("/d/three.html", "three"));
  ASSERT_TRUE(nginx.Start()) << nginx.Error();
  // The settings of the private home: no pause between requests.
  const test::HeadlessPatrol settings("unused", "AccessInterval=0\n");
  test::TempDir dir;
  const std::string into = dir.Path() + "/docs";

  std::string out, err;
  ASSERT_EQ(
      test::QlmProcess::Run(
          {"--mirror", nginx.Url("/d/index.html"), "--depth", "1", "--into", into}, &out, &err),
      0)
      << out << err;
  EXPECT_EQ(test::ReadFileBytes(into + "/127.0.0.1.prj"),
            "ProjectDefault\n{\n\tGraphMax=1\n\tLocalizeLink=1\n}\nRecord\n{\n\tURL=\"" +
                nginx.Url("/d/index.html") + "\"\n\tTitle=\"" + nginx.Url("/d/index.html") +
                "\"\n}\n");
  const std::string site = into + "/127.0.0.1/127.0.0.1/d/";
  EXPECT_EQ(test::ReadFileBytes(site + "s.css[3fv=1[3f.css").substr(0, 24),
            "b{background:url(p.gif)}");
  EXPECT_TRUE(std::filesystem::exists(site + "p.gif"));
  EXPECT_TRUE(std::filesystem::exists(site + "two.html"));
  // One link deep: three.html is not fetched, and the link to it points where it would be.
  EXPECT_FALSE(std::filesystem::exists(site + "three.html"));
  EXPECT_NE(test::ReadFileBytes(site + "two.html").find("href=\"three.html\""), std::string::npos);
  EXPECT_EQ(test::LastLine(out), "Open this file in a browser: file://" + site + "index.html");
}

TEST(MirrorCommand, RefusesWhatItCannotMirror) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--mirror", "ftp://h/"}, "only http URLs can be mirrored"},
      {{"--mirror", "not a url"}, "is not a URL that can be mirrored"},
      {{"--mirror", "http://h/", "--depth", "-1"}, "the depth must be a number of 0 or more"},
      {{"--patrol", "x.prj", "--into", "/tmp"}, "go with --mirror"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(test::QlmProcess::Run(c.args, &out, &err), 2) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace qlm
