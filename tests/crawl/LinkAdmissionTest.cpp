#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "crawl/LinkAdmission.h"
#include "project/AppSettings.h"
#include "project/ProjectItem.h"
#include "project/SettingsDefaults.h"

namespace qlm {
namespace {

class LinkAdmissionTest : public testing::Test {
 protected:
  LinkAdmissionTest() {
    root_.SetTitle("proj");
    folder_ = root_.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
    folder_->SetTitle("F");
    item_ = folder_->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
    item_->SetURL("http://h/a/b/index.html");
    private_ = folder_->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
    private_->SetURL("http://h/a/b/private");
    private_->SetOwn(ItemOption::PilotType, kPilotForbidden);

    referrer_.flags = 0x13;
    referrer_.retry = 1;
    referrer_.graph_max = 2;
    referrer_.depth = 1;
    referrer_.chain = 0;
    referrer_.folder_path = "proj/F";
    referrer_.item_url = "http://h/a/b/index.html";
    referrer_.url = "http://h/a/b/page.html";
  }

  std::optional<LinkRecord> Admit(const PageLink& link, int mode = LinkAdmission::kToWorkQueue) {
    const LinkAdmission admission(*item_, defaults_, LinkAdmission::ForbiddenUrls(root_));
    return admission.Admit(referrer_, link, mode);
  }
  bool Admits(const std::string& url) { return Admit({kLinkAnchor, url, ""}).has_value(); }

  AppSettings settings_;
  SettingsDefaults defaults_{settings_};
  ProjectItem root_{ProjectItem::kRoot};
  ProjectItem* folder_;
  ProjectItem* item_;
  ProjectItem* private_;
  LinkRecord referrer_;
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
  };
  for (const Case& c : cases) {
    item_->SetOwn(ItemOption::PilotArea, c.area);
    EXPECT_EQ(Admits(c.url), c.admitted) << c.area << " " << c.url;
  }
  // Unset everywhere: the application's PilotArea, 0 unless set.
  folder_->SetOwn(ItemOption::PilotArea, kUnset);
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
      {kLinkBackground, 0, 3, false, 0, 0},  // chain beyond 3
      {kLinkImageMap, 0, 0, false, 0, 0},
      {3, 0, 0, false, 0, 0},
      {6, 0, 0, false, 0, 0},
  };
  for (const Case& c : cases) {
    referrer_.depth = c.depth;
    referrer_.chain = c.chain;
    const std::optional<LinkRecord> record = Admit({c.kind, "http://h/a/b/x.gif", ""});
    ASSERT_EQ(record.has_value(), c.admitted) << c.kind << " " << c.depth << " " << c.chain;
    if (!record) continue;
    EXPECT_EQ(record->depth, c.new_depth) << c.kind;
    EXPECT_EQ(record->chain, c.new_chain) << c.kind;
  }
}

TEST_F(LinkAdmissionTest, NewRecordsCarryTheReferrersItemAndStorageName) {
  const std::optional<LinkRecord> queued =
      Admit({kLinkRedirect, "http://h/a/b/%7Ex.jpg", "http://h/a/b/old.gif"});
  ASSERT_TRUE(queued);
  EXPECT_EQ(queued->flags, 0x10);  // the authentication state starts afresh
  EXPECT_EQ(queued->retry, 1);
  EXPECT_EQ(queued->graph_max, 2);
  EXPECT_EQ(queued->folder_path, "proj/F");
  EXPECT_EQ(queued->item_url, "http://h/a/b/index.html");
  EXPECT_EQ(queued->referer, "http://h/a/b/page.html");
  EXPECT_EQ(queued->url, "http://h/a/b/%7ex.jpg");
  EXPECT_EQ(queued->robots_url, "");
  EXPECT_EQ(queued->storage_name, "http://h/a/b/old.gif");
  const std::optional<LinkRecord> collected =
      Admit({kLinkAnchor, "http://h/a/b/x.html", ""}, LinkAdmission::kToCollectList);
  ASSERT_TRUE(collected);
  EXPECT_EQ(collected->flags, 0x13);
}

TEST_F(LinkAdmissionTest, ForbiddenUrlsAreThoseOfForbiddenUrlItemsAsEntered) {
  auto* closed = root_.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
  closed->SetOwn(ItemOption::PilotType, kPilotForbidden);
  auto* inside = closed->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  inside->SetURL("HTTP://Other/Closed");
  inside->SetOwn(ItemOption::PilotType, kPilotSelected);
  std::vector<std::string> urls = LinkAdmission::ForbiddenUrls(root_);
  std::sort(urls.begin(), urls.end());
  EXPECT_EQ(urls, (std::vector<std::string>{"HTTP://Other/Closed", "http://h/a/b/private"}));
}

}  // namespace
}  // namespace qlm
