#include <gtest/gtest.h>

#include <mutex>

#include "crawl/MirrorStore.h"
#include "crawl/StoredPage.h"
#include "tests/crawl/MirrorTree.h"

namespace qlm {
namespace {

std::vector<PageLink> Links(std::initializer_list<std::pair<int, const char*>> links) {
  std::vector<PageLink> result;
  for (const auto& [kind, url] : links) result.push_back({kind, url, ""});
  return result;
}

TEST(DeduplicateLinksTest, DropsALinkThatALaterLinkOfTheSameKindRepeats) {
  struct Case {
    std::vector<PageLink> in, out;
  };
  const std::vector<Case> cases = {
      // A later link that adds a fragment, or merely extends the text, makes the earlier go.
      {Links({{1, "http://h/a.html"}, {1, "http://h/a.html#x"}}),
       Links({{1, "http://h/a.html#x"}})},
      {Links({{1, "http://h/a.html"}, {1, "http://h/a.htmlx"}}), Links({{1, "http://h/a.htmlx"}})},
      {Links({{1, "http://h/a.htmlx"}, {1, "http://h/a.html"}}),
       Links({{1, "http://h/a.htmlx"}, {1, "http://h/a.html"}})},
      {Links({{1, "http://h/a"}, {1, "http://h/b"}, {1, "http://h/a"}}),
       Links({{1, "http://h/b"}, {1, "http://h/a"}})},
      // Kinds are kept apart.
      {Links({{1, "http://h/a.gif"}, {7, "http://h/a.gif"}}),
       Links({{1, "http://h/a.gif"}, {7, "http://h/a.gif"}})},
      // With a query only an equal URL counts.
      {Links({{1, "http://h/c?x=1"}, {1, "http://h/c?x=12"}}),
       Links({{1, "http://h/c?x=1"}, {1, "http://h/c?x=12"}})},
      {Links({{1, "http://h/c?x=1"}, {1, "http://h/c?x=1"}}), Links({{1, "http://h/c?x=1"}})},
      // A query link does not hide its URL without the query.
      {Links({{1, "http://h/c"}, {1, "http://h/c?x=1"}}), Links({{1, "http://h/c?x=1"}})},
  };
  for (const Case& c : cases) EXPECT_EQ(DeduplicateLinks(c.in), c.out) << c.in[0].url;
}

TEST(StoredPageTest, OnlyStoredPagesYieldTheirLinks) {
  test::TempDir dir;
  std::recursive_mutex lock;
  MirrorStore store(dir.Path(), lock, false);
  const std::string page = "<a href=a.html><a href=a.html#x><img src=p.gif>";
  for (const char* url :
       {"http://h/", "http://h/p.html", "http://h/noext", "http://h/p.gif", "http://h/p.txt"}) {
    test::PutFile(*store.LocalPath(url, "f"), page);
  }
  test::PutFile(*store.LocalPath("http://h/c.cgi?q", "f") + "[3f.html", page);
  test::PutFile(*store.LocalPath("http://h/j.cgi", "f") + "[3f.jpg", page);

  const std::vector<PageLink> expected =
      Links({{kLinkAnchor, "http://h/a.html#x"}, {kLinkImage, "http://h/p.gif"}});
  std::vector<PageLink> links;
  for (const char* url : {"http://h/", "http://h/p.html", "http://h/noext", "http://h/c.cgi?q"}) {
    EXPECT_TRUE(ReadStoredPageLinks(store, url, "f", links)) << url;
    EXPECT_EQ(links, expected) << url;
  }
  for (const char* url :
       {"http://h/p.gif", "http://h/p.txt", "http://h/j.cgi", "http://h/none.html"}) {
    EXPECT_FALSE(ReadStoredPageLinks(store, url, "f", links)) << url;
    EXPECT_TRUE(links.empty()) << url;
  }
}

}  // namespace
}  // namespace qlm
