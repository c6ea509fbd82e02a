// Which links of a page become link records, for which referrer, with which depth and chain.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/ExpansionSet.h"
#include "crawl/LinkAdmission.h"
#include "crawl/PatrolEvents.h"
#include "project/CQLMDoc.h"
#include "tests/crawl/PatrolHarness.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

class CountingEvents : public PatrolEvents {
 public:
  void Handling(const std::string&) override {}
  void Detected() override { ++detected; }
  void Retried() override {}
  void Visited(const std::string&) override {}
  void Failed(const std::string&) override {}
  void Localizing() override {}
  void Localized() override {}
  void Ended() override {}
  int detected = 0;
};

// proj
//   site   http://h/dir/index.html
class LinkAdmissionTest : public testing::Test {
 protected:
  void SetUp() override {
    settings_.SetStored(AppText::MirrorDir, dir_.Path() + "/Mirror/");
    ASSERT_TRUE(doc_.New("proj"));
    auto item = std::make_unique<ProjectItem>(ProjectItem::kRecord);
    item->SetTitle("site");
    item->SetURL("http://h/dir/index.html");
    item_ = doc_.Root().AppendChild(std::move(item));
  }

  LinkRecord Referrer(int depth, int chain, int graph_max) const {
    LinkRecord r;
    r.flags = 0x13;
    r.retry = 1;
    r.graph_max = graph_max;
    r.depth = depth;
    r.chain = chain;
    r.folder_path = "proj";
    r.item_url = "http://h/dir/index.html";
    r.url = "http://h/dir/page.html";
    return r;
  }

  // Admits one link for one referrer; the records made.
  std::vector<LinkRecord> Admit(const LinkRecord& referrer, PageLink link, int mode = 0) {
    std::vector<LinkRecord> made;
    LinkAdmission admission(doc_, {"http://h/dir/secret/"}, events_);
    EXPECT_TRUE(admission.Admit({&referrer}, {link}, mode, [&](const LinkRecord& r) {
      made.push_back(r);
      return true;
    }));
    return made;
  }

  test::TempDir dir_;
  AppSettings settings_{Profile(), dir_.Path() + "/data/"};
  test::QuietPrompt prompt_;
  CQLMDoc doc_{settings_, prompt_};
  ProjectItem* item_ = nullptr;
  CountingEvents events_;
};

TEST_F(LinkAdmissionTest, TheItemsAreaDecidesWhichHostsAndFoldersAreFollowed) {
  struct Case {
    int pilot_area;
    const char* link;
    bool admitted;
  };
  const Case cases[] = {
      {0, "http://h/dir/a.html", true},
      // The area is a plain text prefix: a sibling folder that begins alike is inside it.
      {0, "http://h/dir2/b.html", true},
      {0, "http://h/top.html", false},
      {1, "http://h/top.html", true},
      {1, "http://other/x.html", false},
      {2, "http://other/x.html", true},
      {2, "http://h/dir/secret/s.html", false},  // below a forbidden item
      {2, "mailto:someone@h", false},
  };
  for (const Case& c : cases) {
    item_->SetOwn(ItemOption::PilotArea, c.pilot_area);
    const auto made = Admit(Referrer(0, 0, 5), {kLinkAnchor, c.link, ""});
    EXPECT_EQ(made.size(), c.admitted ? 1u : 0u) << "area " << c.pilot_area << " " << c.link;
  }
}

TEST_F(LinkAdmissionTest, PageLinksGoDeeperAndEmbeddedResourcesLengthenTheChain) {
  struct Case {
    int kind;
    int depth, chain, graph_max;
    bool admitted;
    int new_depth, new_chain;
  };
  const Case cases[] = {
      {kLinkAnchor, 0, 2, 1, true, 1, 0},      {kLinkArea, 0, 0, 1, true, 1, 0},
      {kLinkRedirect, 0, 0, 1, true, 1, 0},    {kLinkAnchor, 1, 0, 1, false, 0, 0},
      {kLinkImage, 1, 0, 1, true, 1, 1},       {kLinkFrame, 0, 2, 0, true, 0, 3},
      {kLinkBackground, 0, 3, 0, false, 0, 0}, {kLinkImageMap, 0, 0, 5, false, 0, 0},
  };
  for (const Case& c : cases) {
    const LinkRecord referrer = Referrer(c.depth, c.chain, c.graph_max);
    const auto made = Admit(referrer, {c.kind, "http://h/dir/x.html", ""});
    ASSERT_EQ(made.size(), c.admitted ? 1u : 0u) << "kind " << c.kind << " depth " << c.depth;
    if (!c.admitted) continue;
    const LinkRecord& r = made[0];
    EXPECT_EQ(r.depth, c.new_depth);
    EXPECT_EQ(r.chain, c.new_chain);
    EXPECT_EQ(r.graph_max, c.graph_max);
    EXPECT_EQ(r.retry, 1);
    EXPECT_EQ(r.flags, 0x10);  // the authentication bits start again
    EXPECT_EQ(r.folder_path, "proj");
    EXPECT_EQ(r.item_url, "http://h/dir/index.html");
    EXPECT_EQ(r.referer, "http://h/dir/page.html");
    EXPECT_EQ(r.url, "http://h/dir/x.html");
    EXPECT_EQ(r.robots_url, "");
  }
}

TEST_F(LinkAdmissionTest, ModesDecideWhereRecordsGoButEveryRecordIsCounted) {
  const LinkRecord referrer = Referrer(0, 0, 3);
  const PageLink link{kLinkImage, "http://h/dir/p.jpg", "http://h/dir/old.jpg"};
  const auto collected = Admit(referrer, link, LinkAdmission::kModeCollect);
  ASSERT_EQ(collected.size(), 1u);
  EXPECT_EQ(collected[0].flags, 0x13);  // kept for a saved-data operation
  EXPECT_EQ(collected[0].storage_name, "http://h/dir/old.jpg");
  EXPECT_TRUE(Admit(referrer, link, 5).empty());
  EXPECT_EQ(events_.detected, 2);
}

TEST_F(LinkAdmissionTest, TheItemsFiltersApplyAndAGoneItemAdmitsNothing) {
  item_->SetOwn(ItemOption::UseExtFilter, 1);
  item_->SetOwnString(ItemString::ExtHtml, "html;HTM");
  item_->SetOwn(ItemOption::DLNoExt, 0);
  EXPECT_EQ(Admit(Referrer(0, 0, 1), {kLinkAnchor, "http://h/dir/a.htm", ""}).size(), 1u);
  EXPECT_TRUE(Admit(Referrer(0, 0, 1), {kLinkImage, "http://h/dir/a.jpg", ""}).empty());
  EXPECT_TRUE(Admit(Referrer(0, 0, 1), {kLinkAnchor, "http://h/dir/sub/", ""}).empty());

  LinkRecord stranger = Referrer(0, 0, 1);
  stranger.item_url = "http://h/gone.html";
  EXPECT_TRUE(Admit(stranger, {kLinkAnchor, "http://h/dir/a.htm", ""}).empty());
}

TEST_F(LinkAdmissionTest, EachReferrerAdmitsForItself) {
  const LinkRecord shallow = Referrer(0, 0, 1);
  const LinkRecord deep = Referrer(1, 0, 1);
  std::vector<LinkRecord> made;
  LinkAdmission admission(doc_, {}, events_);
  ASSERT_TRUE(admission.Admit(
      {&shallow, &deep},
      {{kLinkAnchor, "http://h/dir/a.html", ""}, {kLinkImage, "http://h/dir/p.gif", ""}}, 0,
      [&](const LinkRecord& r) {
        made.push_back(r);
        return true;
      }));
  // The deep referrer's page link would go past GraphMax; its picture does not.
  ASSERT_EQ(made.size(), 3u);
  EXPECT_EQ(made[0].depth, 1);
  EXPECT_EQ(made[1].depth, 0);
  EXPECT_EQ(made[2].depth, 1);
  EXPECT_EQ(made[2].url, "http://h/dir/p.gif");
}

TEST_F(LinkAdmissionTest, AFailingSinkStopsTheAdmission) {
  const LinkRecord referrer = Referrer(0, 0, 1);
  LinkAdmission admission(doc_, {}, events_);
  int calls = 0;
  EXPECT_FALSE(admission.Admit(
      {&referrer},
      {{kLinkAnchor, "http://h/dir/a.html", ""}, {kLinkAnchor, "http://h/dir/b.html", ""}}, 0,
      [&](const LinkRecord&) { return ++calls > 1; }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(events_.detected, 0);
}

TEST(ExpansionSetTest, APageIsExpandedAgainOnlyWhenReachedShallowerInDepthOrChain) {
  ExpansionSet set;
  LinkRecord r;
  r.folder_path = "proj";
  r.item_url = "http://h/";
  r.url = "http://h/a.html";
  auto at = [&](int depth, int chain) {
    r.depth = depth;
    r.chain = chain;
    return set.Expand(r);
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
  EXPECT_EQ(set.Size(), 3u);
}

}  // namespace
}  // namespace qlm
