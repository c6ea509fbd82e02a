// Redirects whose LOCATION is relative, as servers send them: resolved against the URL asked for,
// as a page's links are.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/crawl/PatrolHarness.h"
#include "tests/support/SiteServer.h"

namespace qlm {
namespace {

using test::PatrolHarness;
using test::SiteServer;

TEST(RelativeRedirect, LocationsAreResolvedAgainstTheUrlAskedFor) {
  SiteServer site;
  const std::string authority = "//127.0.0.1:" + std::to_string(site.Port());
  struct Case {
    const char* asked;
    std::string location;
    const char* fetched;
  };
  const Case cases[] = {
      {"/dir/a.html", "?page=2", "/dir/a.html?page=2"},
      {"/dir/b.html", authority + "/dir/c.html", "/dir/c.html"},
      {"/dir/d.html", "../e.html", "/e.html"},
      {"/dir/f.html", "../../../g.html", "/g.html"},
  };
  std::string links;
  for (const Case& c : cases) {
    site.Route(c.asked, SiteServer::Redirect(302, c.location));
    site.Route(c.fetched, SiteServer::Html("here"));
    links += "<a href=\"" + std::string(c.asked) + "\">x</a>";
  }
  site.Route("/", SiteServer::Html(links));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 2);
  ASSERT_TRUE(patrol.Run());
  const std::vector<std::string> targets = site.Targets();
  for (const Case& c : cases) {
    EXPECT_EQ(std::count(targets.begin(), targets.end(), c.fetched), 1) << c.location;
  }
  EXPECT_EQ(targets.size(), 1 + 2 * std::size(cases));
  EXPECT_EQ(patrol.Counters().failed, 0);
}

}  // namespace
}  // namespace qlm
