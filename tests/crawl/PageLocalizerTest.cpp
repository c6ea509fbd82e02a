#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "crawl/LocalizeCrew.h"
#include "crawl/MirrorGeneration.h"
#include "crawl/StoredLinkCache.h"
#include "crawl/MirrorStore.h"
#include "crawl/PageLocalizer.h"
#include "tests/crawl/MirrorTree.h"

namespace qlm {
namespace {

using test::PutFile;
using test::ReadFileBytes;

const std::string kPageUrl = "http://h/a/b/page.html";

const std::string kPage =
    "<html>\n"
    "<head><title>T</title><base href=\"http://h/a/b/\"></head>\n"
    "<body background=bg.gif>\n"
    "<a href=\"x.html#sec\">x</a>\n"
    "<a href=missing.html>m</a>\n"
    "<a href='#top'>t</a><a href=\"\">e</a><a href=\"mailto:a@h\">mail</a>\n"
    "<img src=\"../c/y.gif\" usemap=\"#m\" ismap>\n"
    "<area href=\"../q.cgi?n=1\">\n"
    "<frame src=\"http://o/p.html\">\n"
    "</body></html>\n";

class PageLocalizerTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* url : {"http://h/a/b/x.html", "http://h/a/c/y.gif", "http://o/p.html"}) {
      PutFile(*store_.LocalPath(url, "p"), "stored");
    }
    PutFile(*store_.LocalPath("http://h/a/q.cgi?n=1", "p") + "[3f.html", "stored");
    PutFile(*store_.LocalPath(kPageUrl, "p"), kPage);
  }

  std::string Rewrite(const std::string& page, int localize_link = 0) {
    return localizer_.Rewrite(kPageUrl, *store_.LocalPath(kPageUrl, "p"), "p", localize_link, page);
  }

  static std::vector<PageLink> Links(const std::string& page) {
    PageScanner scanner;
    std::vector<PageLink> links;
    std::string title;
    scanner.ScanBytes(kPageUrl, page, links, title);
    return links;
  }

  test::TempDir dir_;
  std::recursive_mutex lock_;
  MirrorStore store_{dir_.Path() + "/Mirror/", lock_, false};
  PageLocalizer localizer_{store_};
};

TEST_F(PageLocalizerTest, PointsStoredTargetsAtTheirLocalFilesAndTheRestOnline) {
  EXPECT_EQ(Rewrite(kPage),
            "<html>\n"
            "<head><meta name=\"QLMVERSION\" content=\"10060\"><title>T</title></head>\n"
            "<body background=\"http://h/a/b/bg.gif\">\n"
            "<a href=\"x.html#sec\">x</a>\n"
            "<a href=\"http://h/a/b/missing.html\">m</a>\n"
            "<a href=\"#top\">t</a><a href=\"\">e</a><a href=\"mailto:a@h\">mail</a>\n"
            "<img src=\"../c/y.gif\" usemap=\"#m\" ismap>\n"
            "<area href=\"../q.cgi[3fn=1[3f.html\">\n"
            "<frame src=\"../../../o/p.html\">\n"
            "</body></html>\n");
}

TEST_F(PageLocalizerTest, WithLocalizeLinkEveryTargetPointsWhereItWouldBeStored) {
  const std::string rewritten = Rewrite(kPage, 1);
  EXPECT_NE(rewritten.find("<a href=\"missing.html\">"), std::string::npos);
  EXPECT_NE(rewritten.find("<body background=\"bg.gif\">"), std::string::npos);
}

TEST_F(PageLocalizerTest, ARewrittenPageReadsBackAsTheSameLinks) {
  for (int localize_link : {0, 1}) {
    EXPECT_EQ(Links(Rewrite(kPage, localize_link)), Links(kPage)) << localize_link;
  }
}

TEST_F(PageLocalizerTest, RewritingTwiceChangesNothingMore) {
  const std::string once = Rewrite(kPage);
  EXPECT_EQ(Rewrite(once), once);
  const std::string all = Rewrite(kPage, 1);
  EXPECT_EQ(Rewrite(all, 1), all);
}

TEST_F(PageLocalizerTest, APageWithoutHeadGetsItsVersionBeforeItsContent) {
  EXPECT_EQ(Rewrite("<!DOCTYPE html>\n<!-- c -->\n<html lang=ja>\n<body><a href=x.html></body>"),
            "<!DOCTYPE html>\n<!-- c -->\n<html lang=ja><meta name=\"QLMVERSION\" "
            "content=\"10060\">\n<body><a href=\"x.html\"></body>");
  EXPECT_EQ(Rewrite("<a href=x.html>"),
            "<meta name=\"QLMVERSION\" content=\"10060\"><a href=\"x.html\">");
  // An element is told by its name, not by an attribute named like a leading element; a BASE
  // element that goes leaves its place to nothing else (found by the page fuzzer: the second
  // rewrite put the version elsewhere).
  const std::string odd = "<a href=x.html html><base href=http://h/ ?xml>y";
  EXPECT_EQ(Rewrite(odd), "<meta name=\"QLMVERSION\" content=\"10060\"><a href=\"x.html\" html>y");
  EXPECT_EQ(Rewrite(Rewrite(odd)), Rewrite(odd));
}

TEST_F(PageLocalizerTest, CopiesTheWholePageWhateverItsRobotsMetaSays) {
  EXPECT_EQ(Rewrite("<head><meta name=robots content=nofollow></head><a href=x.html>\xe6\x97"),
            "<head><meta name=\"QLMVERSION\" content=\"10060\"><meta name=robots "
            "content=nofollow></head><a href=\"x.html\">\xe6\x97");
}

TEST_F(PageLocalizerTest, ValuesKeepTheirDelimiterAndNeverBreakTheirQuotes) {
  EXPECT_EQ(Rewrite("<head></head><a href=x.html\n>a</a><a href='#a\"b'><a href=\"x.html"),
            "<head><meta name=\"QLMVERSION\" content=\"10060\"></head><a href=\"x.html\"\n>a</a>"
            "<a href=\"#a&quot;b\"><a href=\"x.html\"");
}

TEST_F(PageLocalizerTest, AmpersandsOfLinksWrittenAnewAreWrittenAsHtmlHasThem) {
  // Read back, "&amp;" is "&" again: the link, and a page rewritten once more, stay the same.
  const std::string page = "<head></head><a href=\"s.cgi?a=1&amp;b=&amp;lt;\"><a href='#x&y'>";
  const std::string once = Rewrite(page);
  EXPECT_EQ(once,
            "<head><meta name=\"QLMVERSION\" content=\"10060\"></head>"
            "<a href=\"http://h/a/b/s.cgi?a=1&amp;b=&amp;lt;\"><a href=\"#x&y\">");
  EXPECT_EQ(Links(once), Links(page));
  EXPECT_EQ(Rewrite(once), once);
}

TEST_F(PageLocalizerTest, OddPagesSurviveTheCopyWhole) {
  // A value too long to keep is copied as it stands, not cut to what the scanner keeps.
  const std::string long_value = "a\"" + std::string(3000, 'v');
  const std::string with_long = "<head></head><a href=" + long_value + ">";
  EXPECT_EQ(Rewrite(with_long),
            "<head><meta name=\"QLMVERSION\" content=\"10060\"></head><a href=" + long_value + ">");
  // Nothing is put behind a declaration that never ends.
  EXPECT_EQ(Rewrite("<!DOCTYPE html"),
            "<meta name=\"QLMVERSION\" content=\"10060\"><!DOCTYPE html");
  for (const std::string& page : {with_long, std::string("<!DOCTYPE html")}) {
    EXPECT_EQ(Rewrite(Rewrite(page)), Rewrite(page));
  }
}

TEST_F(PageLocalizerTest, LocalizesTheStoredPageInPlaceOncePerPass) {
  const FileTime phase_start = std::chrono::system_clock::now() - std::chrono::minutes(1);
  const std::string file = *store_.LocalPath(kPageUrl, "p");
  test::SetWriteTime(file, phase_start - std::chrono::minutes(1));

  EXPECT_EQ(localizer_.Localize(kPageUrl, "p", 0, phase_start), PageLocalizer::kLocalized);
  const std::string rewritten = ReadFileBytes(file);
  EXPECT_EQ(rewritten, Rewrite(kPage));
  EXPECT_TRUE(store_.FileWrittenSince(file, phase_start));

  // Written after the phase began: it has been rewritten in this pass already.
  EXPECT_EQ(localizer_.Localize(kPageUrl, "p", 1, phase_start), PageLocalizer::kAlreadyLocalized);
  EXPECT_EQ(ReadFileBytes(file), rewritten);
  EXPECT_EQ(localizer_.Localize("http://h/none.html", "p", 0, phase_start),
            PageLocalizer::kNoLocalCopy);
}

// A page localised under the mirror's token is left alone while nothing it depends on changed:
// a target stored behind the store's back (no new token) shows that it was not read again. What
// the store adds or removes, another LocalizeLink, other bytes or a lost token file bring the
// rewrite back. Each patrol has a generation and a link cache of its own, as the manager's.
TEST_F(PageLocalizerTest, APageIsLocalizedAgainOnlyWhenWhatItDependsOnChanged) {
  const std::string token_file = dir_.Path() + "/p.mg";
  const std::string cache_file = dir_.Path() + "/p.lc";
  const std::string page_file = *store_.LocalPath(kPageUrl, "p");
  const std::string missing = *store_.LocalPath("http://h/a/b/missing.html", "p");
  const NameHash key = StoredLinkCache::KeyOf(kPageUrl, "p");
  const FileTime later = std::chrono::system_clock::now() + std::chrono::hours(1);
  // One patrol's localisation of the page; true when the page came out relative to missing.html.
  const auto patrol = [&](int localize_link, const std::function<void(MirrorStore&)>& change) {
    MirrorGeneration generation(token_file, false);
    store_.TellChangesTo(&generation);
    change(store_);
    StoredLinkCache cache(cache_file);
    cache.Load();
    PageLocalizer::Outcome outcome;
    EXPECT_EQ(localizer_.Localize(kPageUrl, "p", localize_link, later, {}, &outcome,
                                  cache.LocalizedAs(key, generation.Token(), localize_link)),
              PageLocalizer::kLocalized);
    cache.Localized(key, outcome.written, generation.Token(), localize_link);
    generation.Marked();
    cache.Save(true);
    store_.TellChangesTo(nullptr);
    return ReadFileBytes(page_file).find("href=\"missing.html\"") != std::string::npos;
  };
  struct Case {
    const char* what;
    std::function<void(MirrorStore&)> change;
    int localize_link;
    bool localized_again;
  };
  const std::vector<Case> cases = {
      {"nothing", [](MirrorStore&) {}, 0, false},
      {"a target stored by the store",
       [&](MirrorStore& store) { store.ReplaceWithBytes(missing + ".x", "stored"); }, 0, true},
      {"a target's other variant removed by the store",
       [&](MirrorStore& store) {
         PutFile(*store.LocalPath("http://h/a/q.cgi?n=1", "p") + "[3f.txt", "old");
         store.MoveToVariant("http://h/a/q.cgi?n=1", "p", "[3f.txt");
       },
       0, true},
      {"a stored copy given new bytes", [&](MirrorStore& store) {
         store.ReplaceWithBytes(*store.LocalPath("http://h/a/b/x.html", "p"), "new", true);
       }, 0, false},
      {"LocalizeLink", [](MirrorStore&) {}, 1, true},
      {"the page's bytes", [&](MirrorStore&) { PutFile(page_file, kPage); }, 0, true},
      {"the token file", [&](MirrorStore&) { std::filesystem::remove(token_file); }, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile(page_file, kPage);
    std::filesystem::remove(missing);
    std::filesystem::remove(token_file);
    std::filesystem::remove(cache_file);
    ASSERT_FALSE(patrol(0, [](MirrorStore&) {}));
    ASSERT_EQ(ReadFileBytes(page_file), Rewrite(kPage));
    PutFile(missing, "stored behind the store's back");
    // The token file goes between the patrols, the rest during the next one.
    if (std::string_view(c.what) == "the token file") {
      c.change(store_);
      EXPECT_EQ(patrol(c.localize_link, [](MirrorStore&) {}), c.localized_again);
    } else {
      EXPECT_EQ(patrol(c.localize_link, c.change), c.localized_again);
    }
  }
}

TEST_F(PageLocalizerTest, ALargePageWaitsForTheSharedLockAndASmallOneDoesNot) {
  const FileTime phase_start = std::chrono::system_clock::now() - std::chrono::minutes(1);
  const std::string large_url = "http://h/a/b/large.html";
  const std::string large_file = *store_.LocalPath(large_url, "p");
  const std::string large_page =
      kPage + "<!--" + std::string(PageLocalizer::kLargePage, 'x') + "-->\n";
  PutFile(large_file, large_page);
  const std::string small_file = *store_.LocalPath(kPageUrl, "p");
  for (const std::string& file : {large_file, small_file}) {
    test::SetWriteTime(file, phase_start - std::chrono::minutes(1));
  }
  std::mutex large_pages;
  localizer_.SetLargePageLock(&large_pages);

  std::unique_lock held(large_pages);
  EXPECT_EQ(localizer_.Localize(kPageUrl, "p", 0, phase_start), PageLocalizer::kLocalized);
  auto large = std::async(std::launch::async,
                          [&] { return localizer_.Localize(large_url, "p", 0, phase_start); });
  EXPECT_EQ(large.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  held.unlock();
  EXPECT_EQ(large.get(), PageLocalizer::kLocalized);
  PageLocalizer unlocked(store_);
  EXPECT_EQ(ReadFileBytes(large_file), unlocked.Rewrite(large_url, large_file, "p", 0, large_page));
}

TEST_F(PageLocalizerTest, LocalizesTheStoredVariantOfACgiPage) {
  const std::string cgi_url = "http://h/a/q.cgi?n=1";
  const std::string file = *store_.LocalPath(cgi_url, "p") + "[3f.html";
  PutFile(file, "<head></head><a href=\"b/x.html\">");
  EXPECT_EQ(localizer_.Localize(cgi_url, "p", 0,
                                std::chrono::system_clock::now() + std::chrono::hours(1)),
            PageLocalizer::kLocalized);
  EXPECT_EQ(ReadFileBytes(file),
            "<head><meta name=\"QLMVERSION\" content=\"10060\"></head><a href=\"b/x.html\">");
}

// A mirror of pages that link to one another, to stored pictures and to pages never stored; a run
// of records names some pages twice, and a cgi URL stored under a page's name.
class LocalizeCrewTest : public testing::Test {
 protected:
  static constexpr int kPages = 150;

  static std::string PageUrl(int i) {
    return "http://h/d" + std::to_string(i % 7) + "/" + std::to_string(i) + ".html";
  }

  // Builds the mirror under `root` (work folder "proj/") and returns the run of records.
  static std::vector<LocalizeCrew::Page> Build(const MirrorStore& store, FileTime before) {
    std::vector<LocalizeCrew::Page> run;
    std::filesystem::create_directories(store.WorkFolder("proj"));
    for (int i = 0; i < kPages; ++i) {
      std::string page = "<html><head><title>" + std::to_string(i) + "</title></head><body>";
      for (int k = 1; k <= 6; ++k) {
        page += "<a href=\"" + PageUrl((i * 7 + k) % (kPages + 20)) + "\">l</a>\n";
      }
      page += "<img src=\"../img/" + std::to_string(i / 2) + ".jpg\"></body></html>\n";
      const std::string file = *store.LocalPath(PageUrl(i), "p");
      PutFile(file, page);
      test::SetWriteTime(file, before);
      PutFile(*store.LocalPath("http://h/img/" + std::to_string(i / 2) + ".jpg", "p"), "jpeg");
      LocalizeCrew::Page& record = run.emplace_back();
      record.url = PageUrl(i);
      record.folder_path = "p";
      record.localize_link = i % 3 == 0 ? 1 : 0;
      if (i % 10 == 0) run.push_back(record);  // reached twice
      if (i % 25 == 0) {
        LocalizeCrew::Page& cgi = run.emplace_back();
        cgi.url = "http://h/q.cgi?n=" + std::to_string(i);
        cgi.folder_path = "p";
        cgi.stored_as = PageUrl(i);
      }
    }
    return run;
  }

  test::TempDir dir_;
  std::recursive_mutex lock_;
};

TEST_F(LocalizeCrewTest, SideBySideGivesTheMirrorOneThreadGivesAndLeavesNoStagingFiles) {
  const FileTime phase_start = std::chrono::system_clock::now() - std::chrono::minutes(1);
  const FileTime before = phase_start - std::chrono::minutes(1);

  const std::string one_root = dir_.Path() + "/one/";
  MirrorStore one_store(one_root, lock_, false, one_root + "proj");
  std::vector<LocalizeCrew::Page> alone = Build(one_store, before);
  for (LocalizeCrew::Page& page : alone) {
    page.result = PageLocalizer(one_store).Localize(page.url, page.folder_path, page.localize_link,
                                                    phase_start, page.stored_as);
  }

  const std::string crew_root = dir_.Path() + "/crew/";
  MirrorStore crew_store(crew_root, lock_, false, crew_root + "proj");
  crew_store.RememberWrites();
  std::vector<LocalizeCrew::Page> run = Build(crew_store, before);
  {
    LocalizeCrew crew(crew_store, 3);
    // In runs as the patrol takes them, the last one short.
    for (std::size_t from = 0; from < run.size(); from += 64) {
      std::vector<LocalizeCrew::Page> part(run.begin() + from,
                                           run.begin() + std::min(run.size(), from + 64));
      crew.Localize(part, phase_start);
      std::copy(part.begin(), part.end(), run.begin() + from);
    }
  }
  ASSERT_EQ(run.size(), alone.size());
  int localized = 0;
  for (std::size_t i = 0; i < run.size(); ++i) {
    EXPECT_EQ(run[i].result, alone[i].result) << run[i].url;
    localized += run[i].result == PageLocalizer::kLocalized;
  }
  EXPECT_EQ(localized, kPages);
  std::map<std::string, std::string> crew_tree = test::TreeOf(crew_root);
  std::map<std::string, std::string> one_tree = test::TreeOf(one_root);
  // The helpers' staging files are gone; the store's own stays for the next rewrite.
  crew_tree.erase("proj/.qlm?staging");
  one_tree.erase("proj/.qlm?staging");
  EXPECT_EQ(crew_tree, one_tree);

  // A killed patrol's staging files, the helpers' too, go at the next start.
  PutFile(crew_root + "proj/.qlm?staging2", "left");
  PutFile(crew_root + "proj/.qlm?staging2x", "not ours");
  RemoveTemporaryFiles(crew_root + "proj/");
  EXPECT_TRUE(test::TreeOf(crew_root + "proj").contains(".qlm?staging2x"));
  EXPECT_FALSE(test::TreeOf(crew_root + "proj").contains(".qlm?staging2"));
}

TEST(LocalizeCrew, TakesOneHelperLessThanTheCoresAndAtMostThree) {
  EXPECT_EQ(LocalizeCrew::HelpersFor(0), 0);
  EXPECT_EQ(LocalizeCrew::HelpersFor(1), 0);
  EXPECT_EQ(LocalizeCrew::HelpersFor(2), 1);
  EXPECT_EQ(LocalizeCrew::HelpersFor(16), 3);
}

}  // namespace
}  // namespace qlm
