// Whole patrols on a real worker thread against loopback sites: what is fetched, in which order,
// what the mirror holds afterwards, and what the status view is told.
#include <gtest/gtest.h>

#include "crawl/CrawlMessages.h"
#include "tests/crawl/PatrolHarness.h"
#include "tests/support/SiteServer.h"

namespace qlm {
namespace {

using test::PatrolCounters;
using test::PatrolHarness;
using test::SiteServer;
using Tree = std::map<std::string, std::string>;

TEST(PatrolTest, FetchesStoresFollowsAndLocalisesASmallSite) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<html><head><title>Top</title></head><body>"
                                   "<a href=\"a.html\">A</a><img src=p.jpg></body></html>"));
  site.Route("/a.html", SiteServer::Html("<html><head></head><a href=\"/\">back</a></html>"));
  site.Route("/p.jpg", SiteServer::Typed("image/jpeg", "JPEG"));
  PatrolHarness patrol;
  ProjectItem& item = patrol.AddUrl(patrol.Root(), site.Url("/"), "site");
  item.SetOwn(ItemOption::GraphMax, 1);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 3, 0, 2, 2}));
  const std::string version = R"(<meta name="QLMVERSION" content="10060">)";
  EXPECT_EQ(patrol.Tree(),
            (Tree{{"127.0.0.1/", ""},
                  {"127.0.0.1/index.html", "<html><head>" + version +
                                               "<title>Top</title></head><body><a href=\"a.html\">"
                                               "A</a><img src=\"p.jpg\"></body></html>"},
                  {"127.0.0.1/a.html",
                   "<html><head>" + version + "</head><a href=\"index.html\">back</a></html>"},
                  {"127.0.0.1/p.jpg", "JPEG"}}));
  const std::string referer = "REFERER:" + site.Url("/") + "\r\n";
  EXPECT_EQ(
      site.Requests(),
      (std::vector<std::string>{
          "GET / HTTP/1.0\r\nACCEPT:*/*\r\nHOST:127.0.0.1\r\nUSER-AGENT:Quillmere/1.009.0\r\n\r\n",
          "GET /a.html HTTP/1.0\r\nACCEPT:*/*\r\nHOST:127.0.0.1\r\n" + referer +
              "USER-AGENT:Quillmere/1.009.0\r\n\r\n",
          "GET /p.jpg HTTP/1.0\r\nACCEPT:*/*\r\nHOST:127.0.0.1\r\n" + referer +
              "USER-AGENT:Quillmere/1.009.0\r\n\r\n"}));
  // The item's own page named it; the JPEG went to the picture hook; the queues are empty again.
  EXPECT_EQ(item.Title(), "Top");
  EXPECT_TRUE(patrol.Doc().IsModified());
  EXPECT_EQ(patrol.Pictures().Taken(),
            (std::vector<std::pair<std::string, std::string>>{
                {site.Url("/p.jpg"), patrol.WorkFolder() + "127.0.0.1/p.jpg"}}));
  EXPECT_TRUE(patrol.Doc().WorkQueue().IsEmpty());
  EXPECT_TRUE(patrol.Doc().LocalizeQueue().IsEmpty());
  EXPECT_EQ(patrol.Messages().back(), kMsgPatrolEnded);
}

}  // namespace
}  // namespace qlm
