// The URLs of one patrol: admitted once unless reached shallower, failed ones not asked again,
// each counted once, and all of it found again by a patrol that resumes; the pages expanded, and
// those put into the localize queue.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crawl/PatrolUrlSet.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using Admitted = PatrolUrlSet::Admitted;

LinkRecord Record(const std::string& url, int depth = 0, int chain = 0,
                  const std::string& item = "http://h/") {
  static const std::string folder = "F";
  LinkRecord record;
  record.folder_path = folder;
  record.item_url = item;
  record.url = url;
  record.depth = depth;
  record.chain = chain;
  return record;
}

TEST(PatrolUrlSetTest, AUrlIsAdmittedOnceUnlessALaterLinkReachesItShallower) {
  const struct {
    LinkRecord record;
    Admitted admitted;
  } steps[] = {
      {Record("http://h/a.html", 2, 0), Admitted::kNew},
      {Record("http://h/a.html", 2, 0), Admitted::kCovered},
      {Record("http://h/a.html", 3, 0), Admitted::kCovered},
      // A fragment names a place in the same page.
      {Record("http://h/a.html#top", 2, 0), Admitted::kCovered},
      // A longer chain at the same depth is covered; a shallower depth is not.
      {Record("http://h/a.html", 2, 2), Admitted::kCovered},
      {Record("http://h/a.html", 1, 1), Admitted::kShallower},
      {Record("http://h/a.html", 1, 0), Admitted::kShallower},
      {Record("http://h/a.html", 1, 3), Admitted::kCovered},
      // Depth 0 with a chain of 2 is not covered by depth 1, chain 0.
      {Record("http://h/a.html", 0, 2), Admitted::kShallower},
      {Record("http://h/a.html", 0, 3), Admitted::kCovered},
      // Another URL, the same URL for another item, another query.
      {Record("http://h/b.html", 5, 0), Admitted::kNew},
      {Record("http://h/a.html", 5, 0, "http://h/other/"), Admitted::kNew},
      {Record("http://h/a.html?x=1", 5, 0), Admitted::kNew},
      // Depths beyond what an entry holds in its own bits.
      {Record("http://h/deep.html", 200000000, 1), Admitted::kNew},
      {Record("http://h/deep.html", 200000001, 1), Admitted::kCovered},
      {Record("http://h/deep.html", 199999999, 2), Admitted::kShallower},
      {Record("http://h/deep.html", 199999999, 1), Admitted::kShallower},
      {Record("http://h/deep.html", 199999999, 3), Admitted::kCovered},
  };
  PatrolUrlSet urls;
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(urls.Admit(steps[i].record), steps[i].admitted) << "step " << i;
  }
  EXPECT_EQ(urls.Size(), 5u);
}

TEST(PatrolUrlSetTest, AFailedUrlIsNotAdmittedAgainAndEachUrlCountsOnce) {
  PatrolUrlSet urls;
  const LinkRecord missing = Record("http://h/missing.html", 3);
  EXPECT_EQ(urls.Admit(missing), Admitted::kNew);
  EXPECT_FALSE(urls.HasFailed(missing));
  EXPECT_TRUE(urls.FirstFailure(missing));
  EXPECT_FALSE(urls.FirstFailure(Record("http://h/missing.html#x", 1)));
  EXPECT_TRUE(urls.HasFailed(Record("http://h/missing.html", 0)));
  // Not even from a shallower page: the server said all there is to say in this patrol.
  EXPECT_EQ(urls.Admit(Record("http://h/missing.html", 0)), Admitted::kCovered);

  const LinkRecord page = Record("http://h/p.html", 1);
  EXPECT_TRUE(urls.FirstVisit(page));
  EXPECT_FALSE(urls.FirstVisit(page));
  EXPECT_FALSE(urls.FirstVisit(Record("http://h/p.html#end", 0)));
  EXPECT_TRUE(urls.FirstVisit(Record("http://h/p.html", 1, 0, "http://h/other/")));
}

TEST(PatrolUrlSetTest, AResumedPatrolFindsItsUrlsAgainAndANewOneStartsWithNone) {
  test::TempDir dir;
  const std::string path = PatrolUrlSetPath(dir.File("Site.uq"));
  EXPECT_EQ(path, dir.File("Site.us"));
  {
    PatrolUrlSet urls;
    ASSERT_TRUE(urls.Open(path, true));
    urls.Admit(Record("http://h/a.html", 2));
    urls.Admit(Record("http://h/a.html", 1));
    urls.FirstVisit(Record("http://h/a.html"));
    urls.Admit(Record("http://h/gone.html", 1));
    urls.FirstFailure(Record("http://h/gone.html"));
    ASSERT_TRUE(urls.Flush());
    urls.Admit(Record("http://h/unwritten.html", 1));  // never flushed: as if killed before
  }
  // A torn last entry, as a kill in mid-write leaves it.
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "0123456789", 10), 10);
    ::close(fd);
  }
  PatrolUrlSet resumed;
  ASSERT_TRUE(resumed.Open(path, false));
  EXPECT_EQ(resumed.Admit(Record("http://h/a.html", 1)), Admitted::kCovered);
  EXPECT_EQ(resumed.Admit(Record("http://h/a.html", 0)), Admitted::kShallower);
  EXPECT_FALSE(resumed.FirstVisit(Record("http://h/a.html")));
  EXPECT_TRUE(resumed.HasFailed(Record("http://h/gone.html")));
  EXPECT_EQ(resumed.Admit(Record("http://h/unwritten.html", 1)), Admitted::kNew);
  ASSERT_TRUE(resumed.Flush());
  // The torn entry went: what was written after it reads back.
  {
    PatrolUrlSet again;
    ASSERT_TRUE(again.Open(path, false));
    EXPECT_EQ(again.Admit(Record("http://h/unwritten.html", 1)), Admitted::kCovered);
    EXPECT_EQ(again.Admit(Record("http://h/a.html", 0)), Admitted::kCovered);
  }

  PatrolUrlSet fresh;
  ASSERT_TRUE(fresh.Open(path, true));
  EXPECT_EQ(fresh.Admit(Record("http://h/a.html", 3)), Admitted::kNew);
  EXPECT_FALSE(fresh.HasFailed(Record("http://h/gone.html")));
  fresh.Remove();
  struct stat st {};
  EXPECT_NE(::stat(path.c_str(), &st), 0);

  // A file of another kind is not read as a set: the patrol goes on with none.
  ASSERT_TRUE(test::WriteFileBytes(path, std::string(200, 'x')));
  PatrolUrlSet other;
  ASSERT_TRUE(other.Open(path, false));
  EXPECT_EQ(other.Size(), 0u);
}

// Enough URLs that every part of the table grows many times, its size no power of two: each is
// new once and covered after, in memory and for the patrol that resumes.
TEST(PatrolUrlSetTest, ManyUrlsAreEachAdmittedOnceAcrossTheTablesGrowth) {
  test::TempDir dir;
  const std::string path = PatrolUrlSetPath(dir.File("Big.uq"));
  constexpr int kUrls = 40000;
  const auto url = [](int i) { return "http://h/p/" + std::to_string(i) + ".html"; };
  {
    PatrolUrlSet urls;
    ASSERT_TRUE(urls.Open(path, true));
    for (int i = 0; i < kUrls; ++i) {
      ASSERT_EQ(urls.Admit(Record(url(i), 3)), Admitted::kNew) << i;
      if (i % 3 == 0) urls.FirstVisit(Record(url(i)));
    }
    ASSERT_TRUE(urls.Flush());
    EXPECT_EQ(urls.Size(), static_cast<std::size_t>(kUrls));
    for (int i = 0; i < kUrls; ++i) ASSERT_EQ(urls.Admit(Record(url(i), 3)), Admitted::kCovered);
  }
  PatrolUrlSet resumed;
  ASSERT_TRUE(resumed.Open(path, false));
  EXPECT_EQ(resumed.Size(), static_cast<std::size_t>(kUrls));
  for (int i = 0; i < kUrls; ++i) {
    ASSERT_EQ(resumed.Admit(Record(url(i), 3)), Admitted::kCovered) << i;
    ASSERT_EQ(resumed.FirstVisit(Record(url(i))), i % 3 != 0) << i;
  }
  EXPECT_EQ(resumed.Admit(Record(url(kUrls), 3)), Admitted::kNew);
}

// A record of page a.html of item http://h/ in folder "proj".
LinkRecord PageA() {
  LinkRecord r;
  r.folder_path = "proj";
  r.item_url = "http://h/";
  r.url = "http://h/a.html";
  return r;
}

TEST(PatrolUrlSetTest, APageIsExpandedAgainOnlyWhenReachedShallowerInDepthOrChain) {
  PatrolUrlSet set;
  LinkRecord r = PageA();
  // ExpansionCovers tells beforehand what Expand will say, and changes nothing.
  auto at = [&](int depth, int chain) {
    r.depth = depth;
    r.chain = chain;
    const bool covered = set.ExpansionCovers(r);
    EXPECT_EQ(set.ExpansionCovers(r), covered);
    const bool expanded = set.Expand(r);
    EXPECT_NE(covered, expanded) << depth << " " << chain;
    return expanded;
  };
  EXPECT_TRUE(at(2, 1));
  EXPECT_FALSE(at(2, 1));
  EXPECT_FALSE(at(3, 2));
  EXPECT_TRUE(at(1, 2));  // shallower, though a longer chain
  EXPECT_TRUE(at(3, 0));  // a shorter chain, though deeper
  EXPECT_FALSE(at(3, 1));
  EXPECT_TRUE(at(0, 0));
  EXPECT_FALSE(at(1, 1));
  // Another item, or another page, is another expansion.
  r.item_url = "http://h/other/";
  EXPECT_TRUE(at(5, 3));
  r.url = "http://h/b.html";
  EXPECT_TRUE(at(5, 3));
  // A fragment names a place in the page: the same page, expanded already.
  r.url = "http://h/b.html#part";
  EXPECT_FALSE(at(5, 3));
  EXPECT_EQ(set.ExpandedPages(), 3u);
  // Expansions are not admissions: the page's URL is still new to the links that reach it.
  EXPECT_EQ(set.Admit(r), PatrolUrlSet::Admitted::kNew);
}

TEST(PatrolUrlSetTest, APageIsQueuedForLocalizingOnceWhateverItsExpansions) {
  PatrolUrlSet set;
  LinkRecord page = PageA();
  page.depth = 2;
  // Marked before it was expanded: the mark is no expansion.
  EXPECT_TRUE(set.FirstLocalizing(page));
  EXPECT_FALSE(set.ExpansionCovers(page));
  EXPECT_EQ(set.ExpandedPages(), 0u);
  EXPECT_TRUE(set.Expand(page));
  EXPECT_FALSE(set.FirstLocalizing(page));
  page.depth = 1;
  EXPECT_TRUE(set.Expand(page));
  EXPECT_FALSE(set.FirstLocalizing(page));
  // The same URL stored under another URL's name is another file; another item another page.
  LinkRecord moved = page;
  moved.storage_name = "http://h/cgi/go.cgi?to=a";
  EXPECT_TRUE(set.FirstLocalizing(moved));
  EXPECT_FALSE(set.FirstLocalizing(moved));
  page.item_url = "http://h/other/";
  EXPECT_TRUE(set.FirstLocalizing(page));
  EXPECT_EQ(set.ExpandedPages(), 1u);
}

}  // namespace
}  // namespace qlm
