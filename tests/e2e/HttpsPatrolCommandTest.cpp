// The real `QLM --patrol` of an https site served by nginx with a certificate of a test
// authority: trusted through the TlsCAFile setting, and without it.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/HeadlessPatrol.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestAuthority.h"

namespace qlm {
namespace {

using test::HeadlessPatrol;
using test::NginxServer;
using test::TestAuthority;

std::string Project(const std::string& url) {
  return "ProjectDefault\n{\n\tAccessInterval=0\n\tGraphMax=3\n}\nRecord\n{\n\tURL=\"" + url +
         "\"\n}\n";
}

TEST(HttpsPatrolCommand, MirrorsWithTheAuthorityOfTlsCAFileAndFailsEveryRecordWithoutIt) {
  ASSERT_FALSE(NginxServer::Program().empty()) << "nginx is not installed";
  test::TempDir dir;
  TestAuthority authority(dir.Path());
  ASSERT_TRUE(authority.Valid());
  const TestAuthority::Issued issued = authority.Issue("server", {"localhost"});
  NginxServer nginx;
  nginx.UseTls(issued.certificate, issued.key);
  ASSERT_TRUE(nginx.WriteFile("/index.html", "<a href=\"a.html\">a</a><img src=\"p.jpg\">"));
  ASSERT_TRUE(nginx.WriteFile("/a.html", "<a href=\"index.html\">top</a>"));
  ASSERT_TRUE(nginx.WriteFile("/p.jpg", std::string("\xFF\xD8\xFF\xE0 picture\0bytes", 21)));
  ASSERT_TRUE(nginx.Start()) << nginx.Error();
  const std::string url = nginx.Url("/index.html");

  HeadlessPatrol trusted("site", "TlsCAFile=" + authority.File() + "\n");
  trusted.Project(Project(url));
  std::string out;
  ASSERT_EQ(trusted.Patrol(&out), 0) << out;
  EXPECT_NE(out.find("Visited " + nginx.Url("/a.html") + "\n"), std::string::npos) << out;
  // Three URLs, each fetched once (the start page, reached again from a.html, is not).
  EXPECT_NE(out.find("Detected 3 Retry 0 Visited 3 Failed 0"), std::string::npos) << out;
  // One connection per request, each after the first resumed.
  EXPECT_NE(out.find("TLS handshakes 3, resumed 2\n"), std::string::npos) << out;
  EXPECT_EQ(trusted.Tree().at("localhost/p.jpg"),
            std::string("\xFF\xD8\xFF\xE0 picture\0bytes", 21));

  HeadlessPatrol untrusted("site");
  untrusted.Project(Project(url));
  ASSERT_EQ(untrusted.Patrol(&out), 0) << out;
  EXPECT_NE(out.find("Failed " + url + " (certificate not trusted)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Detected 1 Retry 0 Visited 0 Failed 1"), std::string::npos) << out;
  for (const auto& [name, bytes] : untrusted.Tree()) EXPECT_TRUE(name.ends_with("/")) << name;

  // A TlsCAFile that cannot be read is named as the likely cause.
  HeadlessPatrol misnamed("site", "TlsCAFile=" + dir.File("no-such-ca.pem") + "\n");
  misnamed.Project(Project(url));
  ASSERT_EQ(misnamed.Patrol(&out), 0) << out;
  EXPECT_NE(out.find("Failed " + url + " (certificate not trusted; TlsCAFile not read)\n"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace qlm
