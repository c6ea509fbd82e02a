// Whole patrols on a real worker thread against loopback sites: what is fetched, in which order,
// what the mirror holds afterwards, and what the status view is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>

#include "crawl/ContentRules.h"
#include "crawl/CrawlMessages.h"
#include "crawl/MirrorStore.h"
#include "net/HttpDate.h"
#include "platform/ManualClock.h"
#include "tests/crawl/MirrorTree.h"
#include "tests/crawl/PatrolHarness.h"
#include "tests/support/ScriptedResolver.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SiteServer.h"

namespace qlm {
namespace {

using test::PatrolCounters;
using test::PatrolHarness;
using test::SiteServer;
using Tree = std::map<std::string, std::string>;
using Targets = std::vector<std::string>;

const std::string kVersion = R"(<meta name="QLMVERSION" content="10060">)";

std::string Robots(const std::string& body) {
  return SiteServer::Typed("text/plain", body);
}

// A finished record as the harness lists it: "+" Visited or "-" Failed, then the URL.
std::string Mark(char mark, const std::string& url) {
  std::string marked(1, mark);
  return marked.append(url);
}

std::string Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  std::string out;
  for (const auto& s : v) out += s + " ";
  return out;
}

TEST(PatrolTest, FetchesStoresFollowsAndLocalisesASmallSite) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<html><head><title>Top</title></head><body>"
                                   "<a href=\"a.html\">A</a><img src=p.jpg></body></html>"));
  site.Route("/a.html", SiteServer::Html("<html><head></head><a href=\"/\">back</a></html>"));
  site.Route("/p.jpg", SiteServer::Typed("image/jpeg", "JPEG"));
  PatrolHarness patrol;
  ProjectItem& item = patrol.AddUrl(patrol.Root(), site.Url("/"));
  item.SetOwn(ItemOption::GraphMax, 1);

  std::vector<std::string> titles;  // told on the worker thread, read after the patrol ended
  std::mutex titles_mutex;
  ASSERT_TRUE(patrol.Run([&](PatrolRequest& request) {
    request.title_changed = [&](const std::string& folder, const std::string& url,
                                const std::string& title) {
      std::lock_guard lock(titles_mutex);
      titles.push_back(folder + "|" + url + "|" + title);
    };
  }));
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 3, 0, 2, 2}));
  EXPECT_EQ(Sorted(patrol.Finished()),
            Sorted({Mark('+', site.Url("/")), Mark('+', site.Url("/a.html")),
                    Mark('+', site.Url("/p.jpg"))}));
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
  // The page first; its two links on two download objects at once, in either order.
  const std::vector<std::string> requests = site.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], "GET / HTTP/1.0\r\nACCEPT:*/*\r\n" + site.HostLine() +
                             "USER-AGENT:Quillmere/1.009.0\r\n\r\n");
  EXPECT_EQ(Sorted({requests[1], requests[2]}),
            Sorted({"GET /a.html HTTP/1.0\r\nACCEPT:*/*\r\n" + site.HostLine() + referer +
                        "USER-AGENT:Quillmere/1.009.0\r\n\r\n",
                    "GET /p.jpg HTTP/1.0\r\nACCEPT:*/*\r\n" + site.HostLine() + referer +
                        "USER-AGENT:Quillmere/1.009.0\r\n\r\n"}));
  // The item's own page named it; the JPEG went to the picture hook; the queues are empty again.
  EXPECT_EQ(item.Title(), "Top");
  EXPECT_EQ(titles, (std::vector<std::string>{"proj|" + site.Url("/") + "|Top"}));
  EXPECT_TRUE(patrol.Doc().IsModified());
  EXPECT_EQ(patrol.Pictures().Taken(),
            (std::vector<std::pair<std::string, std::string>>{
                {site.Url("/p.jpg"), patrol.WorkFolder() + "127.0.0.1/p.jpg"}}));
  EXPECT_TRUE(patrol.Doc().WorkQueue().IsEmpty());
  EXPECT_TRUE(patrol.Doc().LocalizeQueue().IsEmpty());
  EXPECT_EQ(patrol.Messages().back(), kMsgPatrolEnded);
}

TEST(PatrolTest, ARobotsTxtThatIsNotThereIsWrittenAsPermissiveAndTheSiteIsFetched) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<a href=a.html>a</a>"));
  site.Route("/a.html", SiteServer::Html("a"));
  PatrolHarness patrol;
  patrol.Settings().SetStored(AppNumber::UseRobotsTxt, 1);
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 1);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(site.Targets(), (Targets{"/robots.txt", "/", "/a.html"}));
  // The robots.txt request carries nothing but the host; the page goes out without the robots
  // fetch as its referer.
  EXPECT_EQ(site.RequestFor("/robots.txt"),
            "GET /robots.txt HTTP/1.0\r\n" + site.HostLine() + "\r\n");
  EXPECT_EQ(site.RequestFor("/"), "GET / HTTP/1.0\r\nACCEPT:*/*\r\n" + site.HostLine() +
                                      "USER-AGENT:Quillmere/1.009.0\r\n\r\n");
  EXPECT_EQ(patrol.Announced(),
            (Targets{site.Url("/robots.txt"), site.Url("/"), site.Url("/a.html")}));
  EXPECT_EQ(patrol.Tree()["127.0.0.1/robots.txt"], MirrorStore::kPermissiveRobotsTxt);
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{2, 0, 2, 0, 2, 2}));
}

TEST(PatrolTest, AUrlTheRobotsTxtRefusesIsNeverAskedForAndCountsAsFailed) {
  SiteServer site;
  const std::string robots = "User-agent: *\r\nDisallow: /private/\r\n";
  site.Route("/robots.txt", Robots(robots));
  site.Route("/", SiteServer::Html("<a href=private/p.html>p</a><a href=pub.html>q</a>"));
  site.Route("/pub.html", SiteServer::Html("pub"));
  PatrolHarness patrol;
  patrol.Settings().SetStored(AppNumber::UseRobotsTxt, 1);
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 1);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(site.Targets(), (Targets{"/robots.txt", "/", "/pub.html"}));
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 2, 1, 2, 2}));
  EXPECT_EQ(patrol.Finished(),
            (Targets{Mark('+', site.Url("/")), Mark('-', site.Url("/private/p.html")),
                     Mark('+', site.Url("/pub.html"))}));
  EXPECT_EQ(patrol.Tree(),
            (Tree{{"127.0.0.1/", ""},
                  {"127.0.0.1/robots.txt", robots},
                  {"127.0.0.1/index.html", kVersion + "<a href=\"" + site.Url("/private/p.html") +
                                               "\">p</a><a href=\"pub.html\">q</a>"},
                  {"127.0.0.1/pub.html", kVersion + "pub"}}));
}

TEST(PatrolTest, ARedirectedRobotsTxtIsFollowedAndItsRedirectPageKept) {
  SiteServer site;
  site.Route("/robots.txt", SiteServer::Redirect(302, site.Url("/rules.txt")));
  site.Route("/rules.txt", Robots("User-agent: Quillmere\r\nDisallow: /no\r\n"));
  site.Route("/", SiteServer::Html("<a href=a.html>a</a><a href=no.html>n</a>"));
  site.Route("/a.html", SiteServer::Html("a"));
  PatrolHarness patrol;
  patrol.Settings().SetStored(AppNumber::UseRobotsTxt, 1);
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 1);

  ASSERT_TRUE(patrol.Run());
  // The later pages find the moved robots.txt through its redirect page: no second fetch.
  EXPECT_EQ(site.Targets(), (Targets{"/robots.txt", "/rules.txt", "/", "/a.html"}));
  EXPECT_EQ(patrol.Tree()["127.0.0.1/robots.txt.html"],
            MirrorStore::RedirectPage(site.Url("/rules.txt")));
  EXPECT_EQ(patrol.Tree()["127.0.0.1/rules.txt"], "User-agent: Quillmere\r\nDisallow: /no\r\n");
  EXPECT_EQ(patrol.Tree().count("127.0.0.1/robots.txt"), 0u);
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 2, 1, 2, 2}));
}

TEST(PatrolTest, RedirectsFromPagesAreFollowedAndKeptAsPagesButNotAcrossFileTypes) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<a href=old.html>o</a><img src=pic.gif>"));
  site.Route("/old.html", SiteServer::Redirect(302, site.Url("/new.html")));
  site.Route("/pic.gif", SiteServer::Redirect(302, site.Url("/pic.jpg")));
  site.Route("/new.html", SiteServer::Html("new"));
  site.Route("/pic.jpg", SiteServer::Typed("image/jpeg", "JPEG"));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 2);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(Sorted(site.Targets()), Sorted({"/", "/old.html", "/pic.gif", "/new.html"}));
  EXPECT_EQ(patrol.Tree(),
            (Tree{{"127.0.0.1/", ""},
                  {"127.0.0.1/index.html", kVersion + "<a href=\"old.html\">o</a><img src=\"" +
                                               site.Url("/pic.gif") + "\">"},
                  {"127.0.0.1/old.html",
                   "<html>\r\n<head>" + kVersion +
                       "<title>Redirect</title></head>\r\n<body>\r\n<a href=\"new.html\">Requested "
                       "object is moved</a><br><br>\r\nGenerated by Quillmere<br>\r\n</body>\r\n"
                       "</html>\r\n"},
                  {"127.0.0.1/new.html", kVersion + "new"}}));
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{4, 0, 4, 0, 3, 3}));
  EXPECT_TRUE(patrol.Pictures().Taken().empty());
}

TEST(PatrolTest, TheRedirectsOfLaterServersAreFollowedAs302Is) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<a href=a.html>a</a><a href=b.html>b</a><a href=c.html>c</a>"));
  site.Route("/a.html", SiteServer::Redirect(303, site.Url("/a2.html")));
  site.Route("/b.html", SiteServer::Redirect(307, site.Url("/b2.html")));
  site.Route("/c.html", SiteServer::Redirect(308, site.Url("/c2.html")));
  for (const char* page : {"/a2.html", "/b2.html", "/c2.html"}) {
    site.Route(page, SiteServer::Html(page));
  }
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 2);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(Sorted(site.Targets()),
            Sorted({"/", "/a.html", "/b.html", "/c.html", "/a2.html", "/b2.html", "/c2.html"}));
  const Tree tree = patrol.Tree();
  EXPECT_EQ(tree.at("127.0.0.1/b2.html"), kVersion + "/b2.html");
  EXPECT_NE(tree.at("127.0.0.1/c.html").find("<a href=\"c2.html\">"), std::string::npos);
  EXPECT_EQ(patrol.Counters().failed, 0);
}

TEST(PatrolTest, ACgiPageIsStoredAsItsHtmlVariantAndItsLinksAreFollowed) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<a href=\"cgi/list.cgi?page=1\">list</a>"));
  site.Route("/cgi/list.cgi?page=1", SiteServer::Html("<a href=item.html>i</a>"));
  site.Route("/cgi/item.html", SiteServer::Html("item"));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 2);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(site.Targets(), (Targets{"/", "/cgi/list.cgi?page=1", "/cgi/item.html"}));
  EXPECT_EQ(
      patrol.Tree(),
      (Tree{
          {"127.0.0.1/", ""},
          {"127.0.0.1/cgi/", ""},
          {"127.0.0.1/index.html", kVersion + "<a href=\"cgi/list.cgi[3fpage=1[3f.html\">list</a>"},
          {"127.0.0.1/cgi/list.cgi[3fpage=1[3f.html", kVersion + "<a href=\"item.html\">i</a>"},
          {"127.0.0.1/cgi/item.html", kVersion + "item"}}));
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 3, 0, 3, 3}));
}

TEST(PatrolTest, ACgiUrlThatRedirectsToAPageKeepsThePageUnderItsOwnNameAndLocalisesIt) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<a href=\"cgi/go.cgi?to=news\">go</a>"));
  site.Route("/cgi/go.cgi?to=news", SiteServer::Redirect(302, site.Url("/news/today.html")));
  site.Route("/news/today.html", SiteServer::Html("<a href=story.html>s</a><a href=../>top</a>"));
  site.Route("/news/story.html", SiteServer::Html("story"));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 3);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(site.Count("/news/today.html"), 1u);
  const Tree tree = patrol.Tree();
  // The page is stored under the name of the URL that was asked for, and its links, relative to
  // where it came from, point at the local copies from where it is stored.
  ASSERT_TRUE(tree.count("127.0.0.1/cgi/go.cgi[3fto=news[3f.html"))
      << ::testing::PrintToString(tree);
  EXPECT_EQ(tree.at("127.0.0.1/cgi/go.cgi[3fto=news[3f.html"),
            kVersion + "<a href=\"../news/story.html\">s</a><a href=\"../index.html\">top</a>");
  EXPECT_EQ(tree.at("127.0.0.1/index.html"),
            kVersion + "<a href=\"cgi/go.cgi[3fto=news[3f.html\">go</a>");
}

TEST(PatrolTest, AnExecutableBodyIsNeverStoredYetTheRecordIsDone) {
  SiteServer site;
  const std::string program = std::string(kExecutableHeader) + "program";
  site.Route("/", SiteServer::Html("<a href=setup.exe>s</a><a href=fake.html>f</a>"));
  site.Route("/setup.exe", SiteServer::Typed("application/octet-stream", program));
  site.Route("/fake.html", SiteServer::Html(program));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 1);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(site.Count("/setup.exe"), 1u);
  EXPECT_EQ(site.Count("/fake.html"), 1u);
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 3, 0, 1, 1}));
  EXPECT_EQ(patrol.Tree(),
            (Tree{{"127.0.0.1/", ""},
                  {"127.0.0.1/index.html", kVersion + "<a href=\"" + site.Url("/setup.exe") +
                                               "\">s</a><a href=\"" + site.Url("/fake.html") +
                                               "\">f</a>"}}));
}

TEST(PatrolTest, LargeBodiesAreJudgedAndScannedWholeLikeSmallOnes) {
  // Bodies larger than a download keeps in memory: read back from the file.
  SiteServer site;
  const std::string filler(300 * 1024, ' ');
  const std::string program = std::string(kExecutableHeader) + filler;
  site.Route("/", SiteServer::Html("<a href=big.html>b</a><a href=big.bin>p</a>"));
  site.Route("/big.html", SiteServer::Html("<p>" + filler + "<a href=last.html>l</a>"));
  site.Route("/big.bin", SiteServer::Typed("application/octet-stream", program));
  site.Route("/last.html", SiteServer::Html("last"));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 2);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(site.Count("/last.html"), 1u) << "the link at the end of the large page";
  const Tree tree = patrol.Tree();
  EXPECT_TRUE(tree.contains("127.0.0.1/big.html"));
  EXPECT_TRUE(tree.contains("127.0.0.1/last.html"));
  EXPECT_FALSE(tree.contains("127.0.0.1/big.bin")) << "an executable is never stored";
}

TEST(PatrolTest, AnUnauthorizedPageIsAskedForThriceWithCredentialsOnlyTheThirdTime) {
  SiteServer site;
  site.Route("/", SiteServer::Reply(401, "", "WWW-Authenticate: Basic realm=\"r\"\r\n"));
  PatrolHarness patrol;
  ProjectItem& item = patrol.AddUrl(patrol.Root(), site.Url("/"));
  item.SetOwn(ItemOption::UseHttpPassword, 1);
  item.SetOwnString(ItemString::HttpUserID, "user");
  item.SetOwnString(ItemString::HttpPassword, "pass");

  ASSERT_TRUE(patrol.Run());
  ASSERT_EQ(site.Count("/"), 3u);
  const std::string plain =
      "GET / HTTP/1.0\r\nACCEPT:*/*\r\n" + site.HostLine() + "USER-AGENT:Quillmere/1.009.0\r\n\r\n";
  EXPECT_EQ(site.RequestFor("/", 0), plain);
  EXPECT_EQ(site.RequestFor("/", 1), plain);
  EXPECT_EQ(site.RequestFor("/", 2),
            "GET / HTTP/1.0\r\nACCEPT:*/*\r\nAUTHORIZATION:Basic dXNlcjpwYXNz\r\n" +
                site.HostLine() + "USER-AGENT:Quillmere/1.009.0\r\n\r\n");
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{1, 0, 0, 1, 0, 0}));
  EXPECT_EQ(patrol.Released(), (std::vector<bool>{false, false, false}));
}

TEST(PatrolTest, WithGraphMaxZeroOnlyTheItemAndItsEmbeddedChainOfThreeAreFetched) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<frameset><frame src=f1.html></frameset><a href=x.html>x</a>"));
  site.Route("/f1.html", SiteServer::Html("<frame src=f2.html>"));
  site.Route("/f2.html", SiteServer::Html("<img src=i.jpg><frame src=f3.html>"));
  site.Route("/f3.html", SiteServer::Html("<img src=deep.jpg>"));
  site.Route("/i.jpg", SiteServer::Typed("image/jpeg", "I"));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/"));  // GraphMax unset: the default 0

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(Sorted(site.Targets()), Sorted({"/", "/f1.html", "/f2.html", "/i.jpg", "/f3.html"}));
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{5, 0, 5, 0, 4, 4}));
}

TEST(PatrolTest, APageReachedAgainIsNotFetchedAgainAndItsLinksAreNotAdmittedAgain) {
  SiteServer site;
  const std::string all = "<a href=/>1</a><a href=/p2.html>2</a><a href=/p3.html>3</a>";
  site.Route("/", SiteServer::Html(all));
  site.Route("/p2.html", SiteServer::Html(all));
  site.Route("/p3.html", SiteServer::Html(all));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 5);

  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(Sorted(site.Targets()), Sorted({"/", "/p2.html", "/p3.html"}));
  // The counters count URLs, not links (they counted the item and the three links of each of the
  // three pages, 10): the three pages, each expanded once.
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 3, 0, 3, 3}));
}

TEST(PatrolTest, APageStoredDeeperIsReadForLinksAgainWhenALaterLinkReachesItShallower) {
  // a.html reaches p.html at depth 2, where GraphMax 2 admits none of its links. The frame (depth
  // 0) is answered only once p.html is stored, and reaches it at depth 1: then q.html is admitted.
  SiteServer site;
  site.Route("/", SiteServer::Html("<a href=a.html>a</a><frameset><frame src=f.html></frameset>"));
  site.Route("/a.html", SiteServer::Html("<a href=p.html>p</a><img src=i.jpg>"));
  site.Route("/f.html", SiteServer::Html("<a href=p.html>p</a><img src=i.jpg>"));
  site.Route("/p.html", SiteServer::Html("<a href=q.html>q</a>"));
  site.Route("/q.html", SiteServer::Html("q"));
  site.Route("/i.jpg", SiteServer::Typed("image/jpeg", "I"));
  site.Hold("/f.html");
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 2);
  patrol.Begin();
  const auto finished = [&](const std::string& path) {
    const std::vector<std::string>& done = patrol.Finished();
    return std::find(done.begin(), done.end(), Mark('+', site.Url(path))) != done.end();
  };
  ASSERT_TRUE(patrol.PumpUntil([&] { return finished("/p.html") && finished("/i.jpg"); }));
  site.Release("/f.html");
  ASSERT_TRUE(patrol.WaitForEnd());

  EXPECT_EQ(Sorted(site.Targets()),
            Sorted({"/", "/a.html", "/f.html", "/p.html", "/i.jpg", "/q.html"}));
  // The counters count URLs, not records (they counted p.html and i.jpg from each of a.html and
  // f.html, 8): the item, a.html, f.html, p.html, i.jpg and q.html. Each page is localised once,
  // p.html too though it was read twice, and its link then leads to the copy of q.html.
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{6, 0, 6, 0, 5, 5}));
  EXPECT_EQ(patrol.Tree()["127.0.0.1/p.html"], kVersion + "<a href=\"q.html\">q</a>");
  // i.jpg, reached again with a shorter depth from the frame, is handled again but counted once.
  EXPECT_EQ(
      std::count(patrol.Finished().begin(), patrol.Finished().end(), Mark('+', site.Url("/i.jpg"))),
      1);
}

// A patrol caught with a download in flight: the site holds one page back.
class InFlightTest : public testing::Test {
 protected:
  // "/" holds `top`; each of `pages` answers its own path; `held` is held. The patrol starts and
  // is served until the held page has been asked for.
  void StartWithHeld(const std::string& top, const std::vector<std::string>& pages,
                     const std::string& held) {
    site_.Route("/", SiteServer::Html(top));
    for (const std::string& page : pages) site_.Route(page, SiteServer::Html(page));
    site_.Hold(held);
    patrol_.AddUrl(patrol_.Root(), site_.Url("/")).SetOwn(ItemOption::GraphMax, 1);
    patrol_.Begin();
    ASSERT_TRUE(patrol_.PumpUntil([&] { return site_.Held() >= 1; }));
  }
  void StopAndWait() {
    patrol_.Stop();
    ASSERT_TRUE(patrol_.WaitForEnd());
  }

  SiteServer site_;
  PatrolHarness patrol_;
};

TEST_F(InFlightTest, APageLinkedTwiceWhileItDownloadsIsFetchedOnceForBoth) {
  StartWithHeld("<a href=a.html>1</a><a href=a.html>2</a>", {"/a.html"}, "/a.html");
  patrol_.PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  site_.Release("/a.html");
  ASSERT_TRUE(patrol_.WaitForEnd());
  EXPECT_EQ(site_.Count("/a.html"), 1u);
  // The counters count URLs, not links (3 when both links were counted): "/" and a.html.
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{2, 0, 2, 0, 2, 2}));
}

TEST_F(InFlightTest, AStoppedPatrolResumesWithTheRecordsItHadNotDoneAndCountsThem) {
  StartWithHeld("<a href=a.html>a</a><a href=b.html>b</a><a href=c.html>c</a>",
                {"/a.html", "/b.html", "/c.html"}, "/b.html");
  ASSERT_TRUE(patrol_.PumpUntil([&] { return patrol_.Counters().visited == 3; }));
  StopAndWait();
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{4, 0, 3, 0, 3, 0}));
  // The download that was stopped is back in front of the work queue; nothing is held.
  EXPECT_EQ(patrol_.QueuedUrls(patrol_.Doc().WorkQueue()), (Targets{site_.Url("/b.html")}));
  EXPECT_TRUE(patrol_.Doc().WorkQueue().IsEmpty(PatrolQueue::Chain::kHeld));
  site_.Release("/b.html");

  ASSERT_TRUE(patrol_.Run());
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{1, 0, 1, 0, 4, 4}));
  EXPECT_EQ(site_.Count("/a.html"), 1u);
  EXPECT_EQ(site_.Count("/b.html"), 2u);
  EXPECT_EQ(patrol_.Tree(),
            (Tree{{"127.0.0.1/", ""},
                  {"127.0.0.1/index.html", kVersion + "<a href=\"a.html\">a</a><a href=\"b.html\">"
                                                      "b</a><a href=\"c.html\">c</a>"},
                  {"127.0.0.1/a.html", kVersion + "/a.html"},
                  {"127.0.0.1/b.html", kVersion + "/b.html"},
                  {"127.0.0.1/c.html", kVersion + "/c.html"}}));
}

TEST_F(InFlightTest, APatrolKilledInMidDownloadKeepsItsRecordOnDiskAndTheNextOneFetchesIt) {
  StartWithHeld("<a href=a.html>a</a>", {"/a.html"}, "/a.html");
  patrol_.Kill();
  // What a restart finds in the files: the record in the held chain, the page to localise.
  PatrolQueue work(LinkRecord::kVersion);
  ASSERT_TRUE(work.OpenForReading(patrol_.Doc().WorkQueue().Path()));
  EXPECT_EQ(work.Count(PatrolQueue::Chain::kMain), 0u);
  EXPECT_EQ(work.Count(PatrolQueue::Chain::kHeld), 1u);
  work.Close();
  EXPECT_EQ(patrol_.QueuedUrls(patrol_.Doc().LocalizeQueue()), (Targets{site_.Url("/")}));
  EXPECT_EQ(patrol_.Tree().count("127.0.0.1/a.html"), 0u);
  site_.Release("/a.html");
  // As after a power loss that cut off the store of a held record: its name without its bytes.
  test::PutFile(patrol_.WorkFolder() + "127.0.0.1/a.html", "");

  ASSERT_TRUE(patrol_.Run());
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{1, 0, 1, 0, 2, 2}));
  // A held record is fetched in full: an IF-MODIFIED-SINCE would keep the cut-off copy.
  ASSERT_EQ(site_.Count("/a.html"), 2u);
  EXPECT_EQ(site_.RequestFor("/a.html", 1).find("IF-MODIFIED-SINCE"), std::string::npos);
  EXPECT_EQ(patrol_.Tree()["127.0.0.1/a.html"], kVersion + "/a.html");
  EXPECT_EQ(patrol_.Tree()["127.0.0.1/index.html"], kVersion + "<a href=\"a.html\">a</a>");
}

TEST(PatrolTest, APatrolStoppedWhileLocalisingLocalisesTheRestWhenItResumes) {
  // The stop comes from another thread once the first page is localised: enough pages that the
  // patrol is still localising when it arrives, however fast a page is rewritten.
  constexpr int kPages = 300;
  SiteServer site;
  std::string top;
  for (int i = 0; i < kPages; ++i) {
    const std::string page = "/p" + std::to_string(i) + ".html";
    top += "<a href=" + page.substr(1) + ">" + std::to_string(i) + "</a>";
    site.Route(page, SiteServer::Html("<a href=/>up</a>"));
  }
  site.Route("/", SiteServer::Html(top));
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 1);
  patrol.StopAtFirst(kMsgModified);
  ASSERT_TRUE(patrol.Run());
  const PatrolCounters first = patrol.Counters();
  EXPECT_EQ(first.visited, kPages + 1);
  EXPECT_EQ(first.localize, kPages + 1);

  ASSERT_TRUE(patrol.Run());
  // Nothing is fetched again; the pages not localised yet are counted and localised.
  EXPECT_EQ(site.Requests().size(), std::size_t{kPages + 1});
  EXPECT_EQ(patrol.Counters().detected, 0);
  EXPECT_EQ(patrol.Counters().localize, kPages + 1 - first.modified);
  EXPECT_EQ(first.modified + patrol.Counters().modified, kPages + 1);
  const Tree tree = patrol.Tree();
  for (int i = 0; i < kPages; ++i) {
    EXPECT_EQ(tree.at("127.0.0.1/p" + std::to_string(i) + ".html"),
              kVersion + "<a href=\"index.html\">up</a>");
  }
  EXPECT_TRUE(patrol.Doc().LocalizeQueue().IsEmpty());
}

TEST_F(InFlightTest, ResetPatrolStateMakesTheNextPatrolWalkAnew) {
  StartWithHeld("<a href=a.html>a</a>", {"/a.html"}, "/a.html");
  StopAndWait();
  ASSERT_FALSE(patrol_.Doc().WorkQueue().IsEmpty());
  site_.Release("/a.html");

  // Even with the project folder gone, the reset makes empty queue files again.
  std::filesystem::remove_all(patrol_.WorkFolder());
  ASSERT_TRUE(patrol_.Doc().ResetQueues());
  EXPECT_TRUE(patrol_.Doc().WorkQueue().IsEmpty());
  EXPECT_TRUE(patrol_.Doc().LocalizeQueue().IsEmpty());
  EXPECT_TRUE(std::filesystem::exists(patrol_.WorkFolder() + "proj.uq"));
  ASSERT_TRUE(patrol_.Run());
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{2, 0, 2, 0, 2, 2}));
  EXPECT_EQ(site_.Count("/"), 2u);
}

TEST(PatrolTest, AnUnchangedPageIsAskedForWithItsCopysTimeAndItsStoredLinksAreFollowed) {
  SiteServer site;
  site.Route("/",
             {SiteServer::Html("<a href=a.html>a</a>"), SiteServer::Reply(304, "", "", false)});
  site.Route("/a.html", {SiteServer::Html("a"), SiteServer::Reply(304, "", "", false)});
  PatrolHarness patrol;
  patrol.AddUrl(patrol.Root(), site.Url("/")).SetOwn(ItemOption::GraphMax, 1);
  ASSERT_TRUE(patrol.Run());
  const Tree first = patrol.Tree();
  const auto written = LastWriteTime(patrol.WorkFolder() + "127.0.0.1/index.html");
  ASSERT_TRUE(written);

  ASSERT_TRUE(patrol.Run());
  ASSERT_EQ(site.Count("/"), 2u);
  EXPECT_NE(site.RequestFor("/", 1).find(
                "IF-MODIFIED-SINCE:" +
                FormatHttpDate(std::chrono::system_clock::to_time_t(*written)) + "\r\n"),
            std::string::npos)
      << site.RequestFor("/", 1);
  EXPECT_EQ(site.Count("/a.html"), 2u);
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{2, 0, 2, 0, 2, 2}));
  EXPECT_EQ(patrol.Tree(), first);
}

TEST(PatrolTest, ASelectedItemsPatrolFetchesOnlySelectedItemsOutsideForbiddenFolders) {
  SiteServer site;
  site.Route("/b.html", SiteServer::Html("<a href=a.html>a</a><a href=c.html>c</a>"));
  site.Route("/a.html", SiteServer::Html("a"));
  site.Route("/c.html", SiteServer::Html("c"));
  PatrolHarness patrol;
  ProjectItem& forbidden = patrol.AddFolder(patrol.Root(), "F");
  forbidden.SetOwn(ItemOption::PilotType, kPilotForbidden);
  patrol.AddUrl(forbidden, site.Url("/a.html")).SetOwn(ItemOption::PilotType, kPilotSelected);
  ProjectItem& b = patrol.AddUrl(patrol.Root(), site.Url("/b.html"));
  b.SetOwn(ItemOption::PilotType, kPilotSelected);
  b.SetOwn(ItemOption::GraphMax, 1);
  patrol.AddUrl(patrol.Root(), site.Url("/d.html"));

  ASSERT_TRUE(patrol.Run([](PatrolRequest& r) { r.selected_only = true; }));
  // a.html is below a forbidden folder: neither walked nor followed.
  EXPECT_EQ(site.Targets(), (Targets{"/b.html", "/c.html"}));
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{2, 0, 2, 0, 2, 2}));
}

TEST(PatrolTest, TheItemsAreaDecidesWhetherParentFoldersAndOtherHostsAreFollowed) {
  test::ResolverScope resolver;
  resolver->Add("a.test", {"127.0.0.1"});
  resolver->Add("b.test", {"127.0.0.1"});
  SiteServer site;
  site.Route(
      "/dir/index.html",
      SiteServer::Html("<a href=a.html>1</a><a href=/dir2/b.html>2</a><a href=/top.html>3</a>"
                       "<a href=" +
                       site.Url("b.test", "/other.html") + ">4</a>"));
  for (const char* page : {"/dir/a.html", "/dir2/b.html", "/top.html", "/other.html"}) {
    site.Route(page, SiteServer::Html(page));
  }
  const struct {
    int pilot_area;
    std::vector<std::string> targets;
  } cases[] = {
      {0, {"/dir/index.html", "/dir/a.html", "/dir2/b.html"}},
      {1, {"/dir/index.html", "/dir/a.html", "/dir2/b.html", "/top.html"}},
      {2, {"/dir/index.html", "/dir/a.html", "/dir2/b.html", "/top.html", "/other.html"}},
  };
  std::size_t seen = 0;
  for (const auto& c : cases) {
    PatrolHarness patrol;
    ProjectItem& item = patrol.AddUrl(patrol.Root(), site.Url("a.test", "/dir/index.html"));
    item.SetOwn(ItemOption::GraphMax, 1);
    item.SetOwn(ItemOption::PilotArea, c.pilot_area);
    ASSERT_TRUE(patrol.Run());
    const Targets all = site.Targets();
    EXPECT_EQ(Sorted(Targets(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end())),
              Sorted(c.targets))
        << "PilotArea " << c.pilot_area;
    seen = all.size();
    if (c.pilot_area == 2) {
      EXPECT_EQ(patrol.Tree()["b.test/other.html"], kVersion + "/other.html");
    }
  }
}

TEST(PatrolTest, RecordsOfAHostWaitForItsRobotsTxtWhileAnotherDownloadFetchesIt) {
  test::ResolverScope resolver;
  resolver->Add("a.test", {"127.0.0.1"});
  resolver->Add("b.test", {"127.0.0.1"});
  SiteServer a;
  SiteServer b;
  a.Route("/", SiteServer::Html("<a href=" + b.Url("b.test", "/1.html") +
                                ">1</a><a href=" + b.Url("b.test", "/2.html") + ">2</a>"));
  b.Route("/1.html", SiteServer::Html("1"));
  b.Route("/2.html", SiteServer::Html("2"));
  b.Hold("/robots.txt");
  PatrolHarness patrol;
  patrol.Settings().SetStored(AppNumber::UseRobotsTxt, 1);
  ProjectItem& item = patrol.AddUrl(patrol.Root(), a.Url("a.test", "/"));
  item.SetOwn(ItemOption::GraphMax, 1);
  item.SetOwn(ItemOption::PilotArea, 2);

  patrol.Begin();
  ASSERT_TRUE(patrol.PumpUntil([&] { return b.Held() >= 1; }));
  patrol.PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(b.Targets(), (Targets{"/robots.txt"}));
  b.Release("/robots.txt");
  ASSERT_TRUE(patrol.WaitForEnd());
  EXPECT_EQ(b.Count("/robots.txt"), 1u);
  EXPECT_EQ(Sorted(b.Targets()), Sorted({"/robots.txt", "/1.html", "/2.html"}));
  EXPECT_EQ(patrol.Tree()["b.test/robots.txt"], MirrorStore::kPermissiveRobotsTxt);
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 3, 0, 3, 3}));
}

TEST(PatrolTest, ARefusedConnectionIsRetriedAsOftenAsAllowedAndThenFails) {
  PatrolHarness patrol;
  ProjectItem& item =
      patrol.AddUrl(patrol.Root(), "http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/");
  item.SetOwn(ItemOption::DLoadRetry, 2);
  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{1, 2, 0, 1, 0, 0}));
  EXPECT_EQ(patrol.Released(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(patrol.Tree(), Tree{});
}

// ---- Time limits on the manual clock ----

TEST(PatrolTest, OnlyTheFirstRequestGoesOutAtOnceEveryLaterOneWaitsTheAccessInterval) {
  ManualClock clock;
  SiteServer site;
  site.Route("/", SiteServer::Html("<a href=a.html>a</a>"));
  site.Route("/a.html", SiteServer::Html("a"));
  PatrolHarness patrol(clock);
  patrol.Settings().SetStored(AppNumber::UseRobotsTxt, 1);
  ProjectItem& item = patrol.AddUrl(patrol.Root(), site.Url("/"));
  item.SetOwn(ItemOption::GraphMax, 1);
  item.SetOwn(ItemOption::AccessInterval, 10);

  patrol.Begin();
  auto requests_after = [&](std::size_t n) {
    return patrol.PumpUntil([&] { return site.Targets().size() >= n; }, std::chrono::seconds(10));
  };
  ASSERT_TRUE(requests_after(1));  // the robots.txt, at once
  auto announced_after = [&](std::size_t n) {
    return patrol.PumpUntil([&] { return patrol.Announced().size() >= n; });
  };
  // The page itself waits the interval after the robots.txt on the same download object.
  ASSERT_TRUE(announced_after(2));
  clock.Advance(9999);
  patrol.PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(site.Targets().size(), 1u);
  clock.Advance(1);
  ASSERT_TRUE(requests_after(2));
  ASSERT_TRUE(announced_after(3));
  clock.Advance(9999);
  patrol.PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(site.Targets().size(), 2u);
  clock.Advance(1);
  ASSERT_TRUE(patrol.WaitForEnd());
  EXPECT_EQ(site.Targets(), (Targets{"/robots.txt", "/", "/a.html"}));
}

TEST(PatrolTest, AServerThatNeverAnswersIsGivenUpAfterTheReplyLimitAndRetried) {
  ManualClock clock;
  SiteServer site;
  site.Hold("/");
  PatrolHarness patrol(clock);
  ProjectItem& item = patrol.AddUrl(patrol.Root(), site.Url("/"));
  item.SetOwn(ItemOption::ReplyRcvTimeout, 30);

  patrol.Begin();
  for (std::size_t attempt = 1; attempt <= 2; ++attempt) {
    ASSERT_TRUE(patrol.PumpUntil([&] { return site.Held() >= attempt; }));
    patrol.PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    clock.Advance(29999);
    patrol.PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(patrol.Counters().retry, attempt == 1 ? 0 : 1);
    clock.Advance(1);
  }
  ASSERT_TRUE(patrol.WaitForEnd());
  EXPECT_EQ(site.Count("/"), 2u);
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{1, 1, 0, 1, 0, 0}));
}
}  // namespace
}  // namespace qlm
