// Link admission seen from its referrers: several records that referred to one page, a sink that
// fails, modes that keep nothing, items that are gone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/LinkAdmission.h"
#include "tests/crawl/ProjectFixture.h"

namespace qlm {
namespace {

// proj
//   site   http://h/dir/index.html
class ReferrerAdmissionTest : public testing::Test, public test::ProjectFixture {
 protected:
  ReferrerAdmissionTest() { AddUrl(Root(), "http://h/dir/index.html"); }

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
    LinkAdmission admission(Doc(), {}, events_);
    EXPECT_TRUE(admission.Admit({&referrer}, {link}, mode, [&](const LinkRecord& r, const CUrl&) {
      made.push_back(r);
      return true;
    }));
    return made;
  }

  test::RecordedEvents events_;
};

TEST_F(ReferrerAdmissionTest, AModeThatKeepsNothingStillCountsAndAGoneItemAdmitsNothing) {
  const PageLink link{kLinkImage, "http://h/dir/p.jpg", ""};
  EXPECT_TRUE(Admit(Referrer(0, 0, 3), link, 5).empty());
  EXPECT_EQ(events_.detected, 1);
  LinkRecord stranger = Referrer(0, 0, 1);
  stranger.item_url = "http://h/gone.html";
  EXPECT_TRUE(Admit(stranger, link).empty());
  EXPECT_EQ(events_.detected, 1);
}

TEST_F(ReferrerAdmissionTest, EachReferrerAdmitsForItself) {
  const LinkRecord shallow = Referrer(0, 0, 1);
  const LinkRecord deep = Referrer(1, 0, 1);
  std::vector<LinkRecord> made;
  LinkAdmission admission(Doc(), {}, events_);
  ASSERT_TRUE(admission.Admit(
      {&shallow, &deep},
      {{kLinkAnchor, "http://h/dir/a.html", ""}, {kLinkImage, "http://h/dir/p.gif", ""}}, 0,
      [&](const LinkRecord& r, const CUrl&) {
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

TEST_F(ReferrerAdmissionTest, AFailingSinkStopsTheAdmission) {
  const LinkRecord referrer = Referrer(0, 0, 1);
  LinkAdmission admission(Doc(), {}, events_);
  int calls = 0;
  EXPECT_FALSE(admission.Admit(
      {&referrer},
      {{kLinkAnchor, "http://h/dir/a.html", ""}, {kLinkAnchor, "http://h/dir/b.html", ""}}, 0,
      [&](const LinkRecord&, const CUrl&) { return ++calls > 1; }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(events_.detected, 0);
}

}  // namespace
}  // namespace qlm
