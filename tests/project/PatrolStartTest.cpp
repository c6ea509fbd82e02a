#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/CQLMDoc.h"
#include "project/ExtensionFilter.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

LinkRecord WithUrl(std::string url) {
  LinkRecord r;
  r.url = std::move(url);
  return r;
}

// proj
//   A (GraphMax 2)         a1 http://h/a/1.html, a2 http://h/a/2.JPG
//   r http://h/r/
//   F (Forbidden)          f1 http://h/f/, f2 (Selected) http://h/f/2
//   bad ftp://x/, nourl (no URL)
class PatrolStartTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(doc_.New("proj"));
    a_ = Add(doc_.Root(), ProjectItem::kFolder, "A");
    a_->SetOwn(ItemOption::GraphMax, 2);
    a1_ = Add(*a_, ProjectItem::kRecord, "a1", "http://h/a/1.html");
    a2_ = Add(*a_, ProjectItem::kRecord, "a2", "http://h/a/2.JPG");
    r_ = Add(doc_.Root(), ProjectItem::kRecord, "r", "http://h/r/");
    f_ = Add(doc_.Root(), ProjectItem::kFolder, "F");
    f_->SetOwn(ItemOption::PilotType, kPilotForbidden);
    f1_ = Add(*f_, ProjectItem::kRecord, "f1", "http://h/f/");
    f2_ = Add(*f_, ProjectItem::kRecord, "f2", "http://h/f/2");
    f2_->SetOwn(ItemOption::PilotType, kPilotSelected);
    Add(doc_.Root(), ProjectItem::kRecord, "bad", "ftp://x/");
    Add(doc_.Root(), ProjectItem::kRecord, "nourl");
  }

  static ProjectItem* Add(ProjectItem& parent, ProjectItem::Kind kind, const char* title,
                          const char* url = nullptr) {
    ProjectItem* item = parent.AppendChild(std::make_unique<ProjectItem>(kind));
    item->SetTitle(title);
    if (url) item->SetURL(url);
    return item;
  }

  std::vector<std::string> Queued() {
    std::vector<std::string> urls;
    doc_.WorkQueue().ForEach(PatrolQueue::Chain::kMain,
                             [&urls](PatrolQueue::NodeId, std::string_view data) {
                               LinkRecord r;
                               EXPECT_TRUE(LinkRecord::Decode(data, LinkRecord::kVersion, r));
                               urls.push_back(r.url);
                               return true;
                             });
    return urls;
  }

  test::TempDir dir_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path()};
  test::ScriptedPrompt prompt_;
  CQLMDoc doc_{settings_, prompt_};
  ProjectItem *a_, *a1_, *a2_, *r_, *f_, *f1_, *f2_;
};

TEST_F(PatrolStartTest, WalkTakesTheLastChildFirstAndSkipsWhatCannotBePatrolled) {
  CQLMDoc::PatrolStart start;
  ASSERT_TRUE(doc_.StartPatrol(nullptr, false, start));
  EXPECT_FALSE(start.resumed);
  EXPECT_EQ(start.work, 3u);
  EXPECT_EQ(Queued(),
            (std::vector<std::string>{"http://h/r/", "http://h/a/2.JPG", "http://h/a/1.html"}));
  EXPECT_EQ(doc_.Forbidden(), (std::vector<const ProjectItem*>{f2_, f1_}));

  LinkRecord first;
  ASSERT_TRUE(doc_.WorkQueue().PopFront(first));
  LinkRecord want;
  want.graph_max = 0;  // the application's LinkMax, unset, reads 0
  want.folder_path = "proj";
  want.item_url = "http://h/r/";
  want.url = "http://h/r/";
  EXPECT_EQ(first, want);
  ASSERT_TRUE(doc_.WorkQueue().PopFront(first));
  EXPECT_EQ(first.graph_max, 2);
  EXPECT_EQ(first.folder_path, "proj/A");
}

TEST_F(PatrolStartTest, SelectedPatrolTakesOnlySelectedItemsOutsideForbiddenFolders) {
  a1_->SetOwn(ItemOption::PilotType, kPilotSelected);
  CQLMDoc::PatrolStart start;
  ASSERT_TRUE(doc_.StartPatrol(nullptr, true, start));
  EXPECT_EQ(Queued(), std::vector<std::string>{"http://h/a/1.html"});
  EXPECT_EQ(doc_.Forbidden().size(), 2u);
}

TEST_F(PatrolStartTest, OneItemsSubtreeAndFinding) {
  EXPECT_EQ(doc_.FindItem("proj/A", ""), a_);
  EXPECT_EQ(doc_.FindItem("proj", ""), &doc_.Root());
  EXPECT_EQ(doc_.FindItem("proj/A", "http://h/a/2.JPG"), a2_);
  EXPECT_EQ(doc_.FindItem("proj", "http://h/r/"), r_);
  EXPECT_EQ(doc_.FindItem("proj/A", "http://h/r/"), nullptr);
  EXPECT_EQ(doc_.FindItem("proj/F/f1", ""), nullptr);

  CQLMDoc::PatrolStart start;
  ASSERT_TRUE(doc_.StartPatrol(doc_.FindItem("proj/A", ""), false, start));
  EXPECT_EQ(Queued(), (std::vector<std::string>{"http://h/a/2.JPG", "http://h/a/1.html"}));
  ASSERT_TRUE(doc_.ResetQueues());
  ASSERT_TRUE(doc_.StartPatrol(r_, false, start));
  EXPECT_EQ(Queued(), std::vector<std::string>{"http://h/r/"});
}

TEST_F(PatrolStartTest, FiltersDecideWhichItemsAreQueued) {
  a_->SetOwn(ItemOption::UseExtFilter, 1);
  a_->SetOwnString(ItemString::ExtImage, "gif;jpg");
  doc_.Root().SetOwn(ItemOption::UseUVExtFilter, 1);
  doc_.Root().SetOwn(ItemOption::NotDLNoExt, 1);  // r has no extension
  CQLMDoc::PatrolStart start;
  ASSERT_TRUE(doc_.StartPatrol(nullptr, false, start));
  EXPECT_EQ(Queued(), std::vector<std::string>{"http://h/a/2.JPG"});
}

TEST_F(PatrolStartTest, AnInterruptedPatrolResumesWithHeldRecordsInFront) {
  CQLMDoc::PatrolStart start;
  ASSERT_TRUE(doc_.StartPatrol(nullptr, false, start));
  std::string data;
  PatrolQueue::NodeId held;
  ASSERT_TRUE(doc_.WorkQueue().HoldFront(data, held));  // r is being downloaded
  ASSERT_TRUE(doc_.LocalizeQueue().Append(WithUrl("page")));

  ASSERT_TRUE(doc_.Save(dir_.File("proj.prj")));
  CQLMDoc again(settings_, prompt_);  // the program started anew
  ASSERT_TRUE(again.Open(dir_.File("proj.prj")));
  ASSERT_TRUE(again.StartPatrol(nullptr, false, start));
  EXPECT_TRUE(start.resumed);
  EXPECT_EQ(start.work, 3u);
  EXPECT_EQ(start.localize, 1u);
  EXPECT_EQ(again.Forbidden().size(), 2u);
  LinkRecord first;
  ASSERT_TRUE(again.WorkQueue().PopFront(first));
  EXPECT_EQ(first.url, "http://h/r/");
}

TEST_F(PatrolStartTest, DeferredRecordsGoBackToTheFrontInOrder) {
  CQLMDoc::PatrolStart start;
  ASSERT_TRUE(doc_.StartPatrol(r_, false, start));
  doc_.Deferred().push_back(WithUrl("d1"));
  doc_.Deferred().push_back(WithUrl("d2"));
  ASSERT_TRUE(doc_.RequeueDeferred());
  EXPECT_TRUE(doc_.Deferred().empty());
  EXPECT_EQ(Queued(), (std::vector<std::string>{"d1", "d2", "http://h/r/"}));
}

class FixedDefaults : public ItemDefaults {
 public:
  int32_t flag = 0, no_ext = 1, uv_flag = 0, uv_no_ext = 0;
  int32_t DefaultOption(ItemOption option) const override {
    switch (option) {
      case ItemOption::UseExtFilter:
        return flag;
      case ItemOption::DLNoExt:
        return no_ext;
      case ItemOption::UseUVExtFilter:
        return uv_flag;
      case ItemOption::NotDLNoExt:
        return uv_no_ext;
      default:
        return 0;
    }
  }
  std::string DefaultString(ItemString option) const override {
    return option == ItemString::ExtAudio    ? "wav;aif,mid"
           : option == ItemString::UVExtText ? "TXT"
                                             : "";
  }
};

TEST(ExtensionFilter, ListsSplitAtSemicolonsOnlyAndIgnoreLetterCase) {
  struct Case {
    std::string_view list, extension;
    bool listed;
  };
  const Case cases[] = {
      {"htm;html;shtml", "html", true},
      {"htm;html;shtml", "HTML", true},
      {"wav;aif,mid", "mid", false},
      {"wav;aif,mid", "aif,mid", true},
      {"a; b", "b", false},
      {"a; b", " b", true},
      {"", "", false},
      {"a;;b", "", false},
      {"jpg", "jp", false},
      {"jpg", "jpgx", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtensionFilter::Listed(c.list, c.extension), c.listed)
        << c.list << "|" << c.extension;
  }
}

TEST(ExtensionFilter, BothFiltersWithTheirNoExtensionRules) {
  ProjectItem root(ProjectItem::kRoot);
  ProjectItem* item = root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  FixedDefaults app;
  const std::optional<std::string> none;
  auto admits = [&](const char* ext) {
    return ExtensionFilter::Admits(*item, app, ext ? std::optional<std::string>(ext) : none);
  };
  EXPECT_TRUE(admits("exe"));  // both filters off
  app.flag = 1;                // the application's filter: its lists decide
  EXPECT_TRUE(admits("aif,mid"));
  EXPECT_FALSE(admits("mid"));
  EXPECT_TRUE(admits(nullptr));  // DLNoExt 1
  app.no_ext = 0;
  EXPECT_FALSE(admits(nullptr));
  // The item's own group replaces the application's entirely.
  root.SetOwn(ItemOption::UseExtFilter, 1);
  root.SetOwn(ItemOption::DLNoExt, 1);
  root.SetOwnString(ItemString::ExtOthers, "exe");
  EXPECT_TRUE(admits("EXE"));
  EXPECT_FALSE(admits("wav"));
  EXPECT_TRUE(admits(nullptr));
  item->SetOwn(ItemOption::UseExtFilter, 0);  // off for this item
  EXPECT_TRUE(admits("wav"));
  // The exclusion filter refuses what it lists, and a missing extension with NotDLNoExt 1.
  app.uv_flag = 1;
  EXPECT_FALSE(admits("txt"));
  EXPECT_TRUE(admits(nullptr));
  app.uv_no_ext = 1;
  EXPECT_FALSE(admits(nullptr));
  root.SetOwn(ItemOption::UseUVExtFilter, 0);
  EXPECT_TRUE(admits("txt"));
  EXPECT_TRUE(admits(nullptr));
}

}  // namespace
}  // namespace qlm
