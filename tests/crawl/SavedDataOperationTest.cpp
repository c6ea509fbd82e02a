#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "crawl/CrawlMessages.h"
#include "crawl/MirrorStore.h"
#include "crawl/PatrolEvents.h"
#include "crawl/SavedDataOperation.h"
#include "project/AppSettings.h"
#include "project/ProjectItem.h"
#include "project/SettingsDefaults.h"
#include "tests/crawl/MirrorTree.h"

namespace qlm {
namespace {

using Tree = std::map<std::string, std::string>;
using test::PutFile;
using test::TreeOf;

class RecordedEvents : public PatrolEvents {
 public:
  void Handling(const std::string& url) override { handled.push_back(url); }
  void Detected() override { ++detected; }
  void Retried() override { ++other; }
  void Visited() override { ++visited; }
  void Failed() override { ++failed; }
  void Localizing() override { ++other; }
  void Localized() override { ++other; }
  void Ended() override { ++ended; }

  std::vector<std::string> handled;
  int detected = 0, visited = 0, failed = 0, ended = 0, other = 0;
};

// Only the files of a tree (no folder entries), for comparing contents.
Tree FilesOf(const std::string& root) {
  Tree files;
  for (const auto& [path, bytes] : TreeOf(root)) {
    if (!path.ends_with('/')) files[path] = bytes;
  }
  return files;
}

class SavedDataOperationTest : public testing::Test {
 protected:
  SavedDataOperationTest() {
    root_.SetTitle("proj");
    folder_ = root_.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
    folder_->SetTitle("F");
    item_ = folder_->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
    item_->SetURL("http://h/a/index.html");
    item_->SetOwn(ItemOption::GraphMax, 1);

    // The item's page, the files it links to, and files it does not reach.
    Put("http://h/a/index.html",
        "<a href=x.html><img src=pics/p.jpg><a href=../other.html><a href=sub/deep.html>"
        "<a href=gone.html>");
    Put("http://h/a/x.html", "<a href=index.html>x");
    Put("http://h/a/pics/p.jpg", "JFIF");
    Put("http://h/a/sub/deep.html", "<a href=deeper.html>");
    Put("http://h/a/sub/deeper.html", "too deep");
    Put("http://h/other.html", "outside the area");
    Put("http://h/robots.txt", "User-agent: *\r\n");
    // The queue files of the project stay whatever happens to the saved data.
    PutFile(Root() + "proj/proj.uq", "uq");
    PutFile(Root() + "proj/proj.lq", "lq");
  }

  std::string Root() const { return dir_.Path() + "/Mirror/"; }
  std::string Dest() const { return dir_.Path() + "/Dest/"; }
  void Put(const std::string& url, const std::string& bytes) {
    PutFile(*store_.LocalPath(url, "proj/F"), bytes);
  }
  SavedDataOperation& Run(int operation, const ProjectItem* item, std::string destination = "") {
    operation_ = std::make_unique<SavedDataOperation>(store_, "proj", defaults_, events_);
    operation_->Run({operation, item, std::move(destination)});
    EXPECT_TRUE(operation_->HasEnded());
    EXPECT_EQ(events_.ended, 1);
    EXPECT_FALSE(IsRegularFile(Root() + "proj/proj.det"));
    EXPECT_FALSE(IsRegularFile(Root() + "proj/proj.del"));
    return *operation_;
  }

  test::TempDir dir_;
  std::recursive_mutex lock_;
  MirrorStore store_{dir_.Path() + "/Mirror", lock_, false};
  AppSettings settings_;
  SettingsDefaults defaults_{settings_};
  RecordedEvents events_;
  ProjectItem root_{ProjectItem::kRoot};
  ProjectItem* folder_;
  ProjectItem* item_;
  std::unique_ptr<SavedDataOperation> operation_;
};

const Tree kItemFiles = {
    {"h/a/index.html",
     "<a href=x.html><img src=pics/p.jpg><a href=../other.html><a href=sub/deep.html>"
     "<a href=gone.html>"},
    {"h/a/x.html", "<a href=index.html>x"},
    {"h/a/pics/p.jpg", "JFIF"},
    {"h/a/sub/deep.html", "<a href=deeper.html>"},
    {"h/robots.txt", "User-agent: *\r\n"},
};
const Tree kOtherFiles = {
    {"proj/F/h/a/sub/deeper.html", "too deep"},
    {"proj/F/h/other.html", "outside the area"},
    {"proj/proj.lq", "lq"},
    {"proj/proj.uq", "uq"},
};

Tree Prefixed(const std::string& prefix, const Tree& tree) {
  Tree result;
  for (const auto& [path, bytes] : tree) result[prefix + path] = bytes;
  return result;
}

Tree Joined(Tree a, const Tree& b) {
  a.insert(b.begin(), b.end());
  return a;
}

TEST_F(SavedDataOperationTest, DeletingAUrlItemRemovesWhatItsPatrolWouldFollow) {
  const SavedDataOperation& op = Run(SavedDataRequest::kDelete, item_);
  EXPECT_EQ(op.Error(), SavedDataOperation::kOk);
  EXPECT_EQ(op.Failures(), 0);
  // The emptied pictures folder went with its file; sub/ still holds the page beyond GraphMax.
  EXPECT_EQ(TreeOf(Root()), Joined(kOtherFiles, {{"proj/", ""},
                                                 {"proj/F/", ""},
                                                 {"proj/F/h/", ""},
                                                 {"proj/F/h/a/", ""},
                                                 {"proj/F/h/a/sub/", ""}}));
  // The item, x.html, p.jpg, deep.html, gone.html (nothing stored, still worked on).
  EXPECT_EQ(events_.detected, 5);
  EXPECT_EQ(events_.visited, 5);
  EXPECT_EQ(events_.failed, 0);
}

TEST_F(SavedDataOperationTest, CopyingAUrlItemKeepsItsLayoutBelowTheDestination) {
  const Tree before = TreeOf(Root());
  const SavedDataOperation& op = Run(SavedDataRequest::kCopy, item_, Dest());
  EXPECT_EQ(op.Failures(), 0);
  EXPECT_EQ(FilesOf(Dest()), kItemFiles);
  EXPECT_EQ(TreeOf(Root()), before);
}

TEST_F(SavedDataOperationTest, MovingAUrlItemTakesItsFilesAlong) {
  Run(SavedDataRequest::kMove, item_, Dest().substr(0, Dest().size() - 1));
  EXPECT_EQ(FilesOf(Dest()), kItemFiles);
  EXPECT_EQ(FilesOf(Root()), kOtherFiles);
}

TEST_F(SavedDataOperationTest, FolderItemsWorkOnTheirWholeFolder) {
  Run(SavedDataRequest::kCopy, folder_, Dest());
  EXPECT_EQ(FilesOf(Dest()),
            Prefixed("F/", Joined(kItemFiles, {{"h/a/sub/deeper.html", "too deep"},
                                               {"h/other.html", "outside the area"}})));
  events_ = {};
  Run(SavedDataRequest::kDelete, folder_);
  EXPECT_EQ(TreeOf(Root()), (Tree{{"proj/", ""}, {"proj/proj.lq", "lq"}, {"proj/proj.uq", "uq"}}));
  // F, h, a, pics, sub: each folder found is queued, worked on and done.
  EXPECT_EQ(events_.detected, 5);
  EXPECT_EQ(events_.visited, 5);
}

TEST_F(SavedDataOperationTest, MovingTheRootLeavesTheProjectsOwnFilesInPlace) {
  Run(SavedDataRequest::kMove, &root_, Dest());
  EXPECT_EQ(FilesOf(Dest()),
            Prefixed("proj/F/", Joined(kItemFiles, {{"h/a/sub/deeper.html", "too deep"},
                                                    {"h/other.html", "outside the area"}})));
  EXPECT_EQ(TreeOf(Root()), (Tree{{"proj/", ""}, {"proj/proj.lq", "lq"}, {"proj/proj.uq", "uq"}}));
}

TEST_F(SavedDataOperationTest, AMovedRobotsTxtGoesWithItsRedirectPage) {
  ASSERT_EQ(std::remove((Root() + "proj/F/h/robots.txt").c_str()), 0);
  ASSERT_EQ(
      store_.WriteRedirectPage("http://h/robots.txt", "proj/F", "http://n/r/robots.txt", true),
      MirrorStore::kStoreOk);
  Put("http://n/r/robots.txt", "moved rules");
  Run(SavedDataRequest::kDelete, item_);
  EXPECT_EQ(FilesOf(Root()), kOtherFiles);
}

TEST_F(SavedDataOperationTest, DenselyLinkedPagesAreCollectedOnce) {
  item_->SetURL("http://d/p0.html");
  item_->SetOwn(ItemOption::GraphMax, 6);
  std::string links;
  for (int i = 0; i < 12; ++i) links += "<a href=p" + std::to_string(i) + ".html>";
  for (int i = 0; i < 12; ++i) Put("http://d/p" + std::to_string(i) + ".html", links);
  Run(SavedDataRequest::kDelete, item_);
  EXPECT_EQ(FilesOf(Root() + "proj/F/d"), Tree{});
  // Each page is collected once, from the item's page; reaching it again deeper adds nothing.
  EXPECT_EQ(events_.detected, 1 + 11);
}

TEST_F(SavedDataOperationTest, RunsStepByStepAndStopsOnRequest) {
  SavedDataOperation op(store_, "proj", defaults_, events_);
  unsigned message = op.Start({SavedDataRequest::kDelete, item_, ""});
  EXPECT_EQ(message, kMsgCollectUrl);
  message = op.Step(message);
  EXPECT_EQ(message, kMsgCollectUrl);
  EXPECT_TRUE(IsRegularFile(Root() + "proj/proj.det"));
  op.Stop();
  EXPECT_EQ(op.Step(message), 0u);
  EXPECT_TRUE(op.HasEnded());
  EXPECT_EQ(events_.ended, 1);
  EXPECT_EQ(op.Step(kMsgCollectUrl), 0u);
  EXPECT_EQ(events_.ended, 1);
  // Nothing was deleted before the stop.
  EXPECT_EQ(FilesOf(Root() + "proj/F/"),
            Joined(kItemFiles,
                   {{"h/a/sub/deeper.html", "too deep"}, {"h/other.html", "outside the area"}}));
  EXPECT_FALSE(IsRegularFile(Root() + "proj/proj.det"));
}

TEST_F(SavedDataOperationTest, RefusesRequestsItCannotCarryOut) {
  struct Case {
    int operation;
    const ProjectItem* item;
    std::string destination;
  };
  const std::vector<Case> cases = {
      {SavedDataRequest::kCopy, item_, "relative/place"},
      {SavedDataRequest::kMove, item_, ""},
      {7, item_, Dest()},
      {SavedDataRequest::kDelete, nullptr, ""},
  };
  const Tree before = TreeOf(Root());
  for (const Case& c : cases) {
    events_ = {};
    SavedDataOperation op(store_, "proj", defaults_, events_);
    EXPECT_EQ(op.Start({c.operation, c.item, c.destination}), 0u);
    EXPECT_EQ(op.Error(), SavedDataOperation::kBadRequest);
    EXPECT_EQ(events_.ended, 1);
  }
  EXPECT_EQ(TreeOf(Root()), before);
}

TEST_F(SavedDataOperationTest, ReportsListsThatCannotBePlaced) {
  // A file where the work folder should be.
  test::TempDir other;
  PutFile(other.Path() + "/Mirror/proj", "not a folder");
  MirrorStore store(other.Path() + "/Mirror", lock_, false);
  SavedDataOperation op(store, "proj", defaults_, events_);
  EXPECT_EQ(op.Start({SavedDataRequest::kDelete, item_, ""}), 0u);
  EXPECT_EQ(op.Error(), SavedDataOperation::kListFailed);
  EXPECT_EQ(events_.ended, 1);
}

}  // namespace
}  // namespace qlm
