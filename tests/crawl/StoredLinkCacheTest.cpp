#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "crawl/MirrorStore.h"
#include "crawl/StoredLinkCache.h"
#include "crawl/StoredPage.h"
#include "tests/crawl/MirrorTree.h"

namespace qlm {
namespace {

using test::PutFile;
using test::ReadFileBytes;

const std::vector<PageLink> kLinks = {{1, "http://h/a.html#x"}, {7, "http://h/p.jpg"},
                                      {1, "http://h/a.html"}, {10, "http://h/s.css"}};
const StoredBytes kBytes = StoredBytes::Of("<a href=a.html#x>");
const StoredBytes kRewritten = StoredBytes::Of("<meta><a href=\"a.html#x\">");

std::vector<PageLink> Found(StoredLinkCache& cache, const NameHash& key, const StoredBytes& bytes) {
  std::vector<PageLink> links;
  if (!cache.Find(key, bytes, links)) links.push_back({0, "not kept"});
  return links;
}

// What one patrol keeps, the next one finds: for the very bytes, after a rewrite for the rewritten
// ones, and only until a patrol that went through to its end no longer reached the page.
TEST(StoredLinkCacheTest, APatrolFindsWhatTheLastOneKeptForTheSameBytes) {
  test::TempDir dir;
  const std::string file = dir.File("p.lc");
  const NameHash page = StoredLinkCache::KeyOf("http://h/", "F");
  const NameHash other = StoredLinkCache::KeyOf("http://h/", "G");
  {
    StoredLinkCache cache(file);
    EXPECT_FALSE(cache.Load());  // no file yet
    cache.Put(page, kBytes, kLinks);
    cache.Put(other, kBytes, kLinks);
    cache.Rewritten(page, kBytes, kRewritten);
    ASSERT_TRUE(cache.Save(true));
  }
  {
    StoredLinkCache cache(file);
    ASSERT_TRUE(cache.Load());
    EXPECT_EQ(Found(cache, page, kRewritten), kLinks);
    EXPECT_EQ(Found(cache, page, kBytes).front().url, "not kept");
    EXPECT_EQ(Found(cache, StoredLinkCache::KeyOf("http://h/x", "F"), kRewritten).front().url,
              "not kept");
    ASSERT_TRUE(cache.Save(false));  // stopped: `other` is kept though not reached
  }
  {
    StoredLinkCache cache(file);
    ASSERT_TRUE(cache.Load());
    EXPECT_EQ(Found(cache, other, kBytes), kLinks);
    ASSERT_TRUE(cache.Save(true));  // a whole patrol that reached only `other`
  }
  StoredLinkCache cache(file);
  ASSERT_TRUE(cache.Load());
  EXPECT_EQ(Found(cache, page, kRewritten).front().url, "not kept");
  EXPECT_EQ(Found(cache, other, kBytes), kLinks);

  // A patrol that is killed leaves the last file as it was.
  const std::string before = ReadFileBytes(file);
  {
    StoredLinkCache killed(file);
    killed.Load();
    killed.Put(page, kBytes, {});
  }
  EXPECT_EQ(ReadFileBytes(file), before);
}

// A file cut anywhere or with any byte changed gives what was kept or nothing, never other links
// or another localisation.
TEST(StoredLinkCacheTest, ADamagedFileNeverGivesOtherLinks) {
  test::TempDir dir;
  const std::string file = dir.File("p.lc");
  const NameHash page = StoredLinkCache::KeyOf("http://h/", "F");
  {
    StoredLinkCache cache(file);
    cache.Load();
    cache.Put(page, kBytes, kLinks);
    cache.Rewritten(page, kBytes, kRewritten);
    cache.Localized(page, kRewritten, 7, 1);
    ASSERT_TRUE(cache.Save(true));
  }
  const std::string whole = ReadFileBytes(file);
  for (std::size_t at = 0; at < whole.size(); ++at) {
    for (const std::string& damaged :
         {whole.substr(0, at), whole.substr(0, at) + '\xff' + whole.substr(at + 1)}) {
      test::WriteFileBytes(file, damaged);
      StoredLinkCache cache(file);
      cache.Load();
      std::vector<PageLink> links;
      if (cache.Find(page, kRewritten, links)) {
        EXPECT_EQ(links, kLinks) << "damaged at " << at;
      }
      if (const auto localized = cache.LocalizedAs(page, 7, 1)) {
        EXPECT_EQ(*localized, kRewritten) << "damaged at " << at;
      }
    }
  }
}

// With a cache a stored page gives the links a scan gives, the same as without one.
TEST(StoredLinkCacheTest, StoredPageLinksAreTheSameWithTheCache) {
  test::TempDir dir;
  std::recursive_mutex lock;
  MirrorStore store(dir.Path() + "/Mirror/", lock, false);
  PutFile(*store.LocalPath("http://h/a/index.html", "F"),
          "<a href=b.html#x>b</a><a href=b.html>b</a><img src=p.jpg><link rel=stylesheet "
          "href=s.css>");
  PutFile(*store.LocalPath("http://h/a/s.css", "F"), "@import 't.css'; b { background: url(q.png) }");
  for (const char* url : {"http://h/a/index.html", "http://h/a/s.css"}) {
    SCOPED_TRACE(url);
    std::vector<PageLink> scanned, first, second;
    ASSERT_TRUE(ReadStoredPageLinks(store, url, "F", scanned));
    {
      StoredLinkCache cache(dir.File("p.lc"));
      cache.Load();
      ASSERT_TRUE(ReadStoredPageLinks(store, url, "F", first, &cache));
      cache.Save(true);
    }
    StoredLinkCache cache(dir.File("p.lc"));
    ASSERT_TRUE(cache.Load());
    ASSERT_TRUE(ReadStoredPageLinks(store, url, "F", second, &cache));
    EXPECT_EQ(first, scanned);
    EXPECT_EQ(second, scanned);
  }
}

}  // namespace
}  // namespace qlm
