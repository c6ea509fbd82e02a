#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/LinkAdmission.h"
#include "crawl/SavedDataOperation.h"
#include "tests/crawl/ProjectFixture.h"

namespace qlm {
namespace {

class LinkAdmissionTest : public testing::Test, public test::ProjectFixture {
 protected:
  LinkAdmissionTest() {
    folder_ = &AddFolder(Root(), "F");
    item_ = &AddUrl(*folder_, "http://h/a/b/index.html");
    ProjectItem& closed = AddUrl(*folder_, "http://h/a/b/private");
    closed.SetOwn(ItemOption::PilotType, kPilotForbidden);

    referrer_.flags = 0x13;
    referrer_.retry = 1;
    referrer_.graph_max = 2;
    referrer_.depth = 1;
    referrer_.folder_path = "proj/F";
    referrer_.item_url = "http://h/a/b/index.html";
    referrer_.url = "http://h/a/b/page.html";
  }

  // The records a link gives for the referrer.
  std::vector<LinkRecord> Admit(const PageLink& link, int mode = LinkAdmission::kModePatrol) {
    LinkAdmission admission(Doc(), SavedDataOperation::ForbiddenUrls(Root()), events_);
    std::vector<LinkRecord> records;
    EXPECT_TRUE(
        admission.Admit({&referrer_}, {link}, mode, [&](const LinkRecord& record, const CUrl&) {
          records.push_back(record);
          return true;
        }));
    EXPECT_EQ(events_.detected, static_cast<int>(records.size()));
    events_ = {};
    return records;
  }
  bool Admits(const std::string& url) { return !Admit({kLinkAnchor, url, ""}).empty(); }

  ProjectItem* folder_;
  ProjectItem* item_;
  LinkRecord referrer_;
  test::RecordedEvents events_;
};

TEST_F(LinkAdmissionTest, PilotAreaBoundsWhereLinksLead) {
  struct Case {
    int area;
    std::string url;
    bool admitted;
  };
  const std::vector<Case> cases = {
      {0, "http://h/a/b/x.html", true},
      {0, "http://h/a/b/c/x.html", true},
      {0, "http://h/a/bx/y.html", true},  // a plain text prefix of the item's folder URL
      {0, "http://h/a/y.html", false},
      {0, "http://o/a/b/x.html", false},
      {1, "http://h/a/y.html", true},
      {1, "http://h/", true},
      {1, "http://o/a/b/x.html", false},
      {2, "http://o/x.html", true},
      // Forbidden items close their URLs whatever the area.
      {2, "http://h/a/b/private/x.html", false},
      {0, "http://h/a/b/privateer.html", false},
      // http and https of one host on their default ports are one site.
      {0, "https://h/a/b/x.html", true},
      {0, "https://H:443/a/b/c/x.html", true},
      {0, "https://h/a/y.html", false},
      {0, "https://h:8443/a/b/x.html", false},
      {0, "https://h:80/a/b/x.html", false},
      {0, "https://o/a/b/x.html", false},
      {1, "https://h/a/y.html", true},
      {2, "https://h/a/b/private/x.html", false},
  };
  for (const Case& c : cases) {
    item_->SetOwn(ItemOption::PilotArea, c.area);
    EXPECT_EQ(Admits(c.url), c.admitted) << c.area << " " << c.url;
  }
  // Unset everywhere: the application's PilotArea, 0 unless set.
  item_->SetOwn(ItemOption::PilotArea, kUnset);
  EXPECT_FALSE(Admits("http://h/a/y.html"));
  folder_->SetOwn(ItemOption::PilotArea, 1);
  EXPECT_TRUE(Admits("http://h/a/y.html"));
}

TEST_F(LinkAdmissionTest, ExtensionFiltersOfTheItemApply) {
  item_->SetOwn(ItemOption::UseExtFilter, 1);
  item_->SetOwnString(ItemString::ExtHtml, "html");
  item_->SetOwn(ItemOption::DLNoExt, 0);
  EXPECT_TRUE(Admits("http://h/a/b/x.HTML"));
  EXPECT_FALSE(Admits("http://h/a/b/x.gif"));
  EXPECT_FALSE(Admits("http://h/a/b/noext"));
  item_->SetOwn(ItemOption::UseExtFilter, 0);
  item_->SetOwn(ItemOption::UseUVExtFilter, 1);
  item_->SetOwnString(ItemString::UVExtImage, "gif");
  EXPECT_FALSE(Admits("http://h/a/b/x.gif"));
  EXPECT_TRUE(Admits("http://h/a/b/x.jpg"));
}

TEST_F(LinkAdmissionTest, PageLinksGoDeeperAndEmbeddedResourcesLengthenTheChain) {
  struct Case {
    int kind;
    int32_t depth, chain;  // of the referrer
    bool admitted;
    int32_t new_depth, new_chain;
  };
  const std::vector<Case> cases = {
      {kLinkAnchor, 1, 2, true, 2, 0},
      {kLinkArea, 1, 0, true, 2, 0},
      {kLinkRedirect, 1, 3, true, 2, 0},
      {kLinkAnchor, 2, 0, false, 0, 0},  // beyond GraphMax 2
      {kLinkImage, 2, 0, true, 2, 1},
      {kLinkFrame, 2, 2, true, 2, 3},
      {kLinkBackground, 0, 3, false, 0, 0},  // a chain beyond 3
      {kLinkImageMap, 0, 0, false, 0, 0},
      {3, 0, 0, false, 0, 0},
      {6, 0, 0, false, 0, 0},
  };
  for (const Case& c : cases) {
    referrer_.depth = c.depth;
    referrer_.chain = c.chain;
    const std::vector<LinkRecord> records = Admit({c.kind, "http://h/a/b/x.gif", ""});
    ASSERT_EQ(records.size(), c.admitted ? 1u : 0u) << c.kind << " " << c.depth << " " << c.chain;
    if (records.empty()) continue;
    EXPECT_EQ(records[0].depth, c.new_depth) << c.kind;
    EXPECT_EQ(records[0].chain, c.new_chain) << c.kind;
  }
}

TEST_F(LinkAdmissionTest, NewRecordsCarryTheReferrersItemAndStorageName) {
  const std::vector<LinkRecord> queued =
      Admit({kLinkRedirect, "http://h/a/b/%7Ex.jpg", "http://h/a/b/old.gif"});
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].flags, 0x10);  // the authentication state starts afresh
  EXPECT_EQ(queued[0].retry, 1);
  EXPECT_EQ(queued[0].graph_max, 2);
  EXPECT_EQ(queued[0].folder_path, "proj/F");
  EXPECT_EQ(queued[0].item_url, "http://h/a/b/index.html");
  EXPECT_EQ(queued[0].referer, "http://h/a/b/page.html");
  EXPECT_EQ(queued[0].url, "http://h/a/b/%7ex.jpg");
  EXPECT_EQ(queued[0].robots_url, "");
  EXPECT_EQ(queued[0].storage_name, "http://h/a/b/old.gif");
  const std::vector<LinkRecord> collected =
      Admit({kLinkAnchor, "http://h/a/b/x.html", ""}, LinkAdmission::kModeCollect);
  ASSERT_EQ(collected.size(), 1u);
  EXPECT_EQ(collected[0].flags, 0x13);
}

TEST_F(LinkAdmissionTest, AForbiddenItemKeepsOutItsLinksHoweverItsUrlIsTyped) {
  AddUrl(*folder_, "HTTP://H:80/a/b/%7Euser/").SetOwn(ItemOption::PilotType, kPilotForbidden);
  AddUrl(*folder_, "http://h/a/b/Closed").SetOwn(ItemOption::PilotType, kPilotForbidden);
  ASSERT_TRUE(Admits("http://h/a/b/user/x.html"));
  EXPECT_FALSE(Admits("http://h/a/b/%7euser/x.html"));
  EXPECT_FALSE(Admits("http://h/a/b/c/../~user/y.html"));
  EXPECT_FALSE(Admits("http://h/a/b/Closed/x.html"));
  // The path keeps its letter case: another folder is not kept out.
  EXPECT_TRUE(Admits("http://h/a/b/closed/x.html"));
  // The same place over https.
  EXPECT_FALSE(Admits("https://h/a/b/Closed/x.html"));
  EXPECT_FALSE(Admits("https://h:443/a/b/%7euser/x.html"));
  EXPECT_TRUE(Admits("https://h/a/b/closed/x.html"));
}

TEST_F(LinkAdmissionTest, AnHttpsItemTakesItsHttpLinksAsItsOwnSite) {
  ProjectItem& secure = AddUrl(*folder_, "https://h/s/index.html");
  secure.SetOwn(ItemOption::PilotArea, 0);
  referrer_.item_url = "https://h/s/index.html";
  referrer_.url = "https://h/s/index.html";
  EXPECT_TRUE(Admits("http://h/s/a.html"));
  EXPECT_TRUE(Admits("https://h/s/b/c.html"));
  EXPECT_FALSE(Admits("http://h:8080/s/a.html"));
  EXPECT_FALSE(Admits("http://h/t/a.html"));
}

TEST_F(LinkAdmissionTest, ForbiddenUrlsAreThoseOfForbiddenUrlItemsAsEntered) {
  ProjectItem& closed = AddFolder(Root(), "closed");
  closed.SetOwn(ItemOption::PilotType, kPilotForbidden);
  AddUrl(closed, "HTTP://Other/Closed").SetOwn(ItemOption::PilotType, kPilotSelected);
  std::vector<std::string> urls = SavedDataOperation::ForbiddenUrls(Root());
  std::sort(urls.begin(), urls.end());
  EXPECT_EQ(urls, (std::vector<std::string>{"HTTP://Other/Closed", "http://h/a/b/private"}));
}

}  // namespace
}  // namespace qlm
