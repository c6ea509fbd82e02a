#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "crawl/MirrorStore.h"
#include "crawl/PatrolEvents.h"
#include "crawl/SavedDataJob.h"
#include "crawl/SavedDataOperation.h"
#include "platform/EventLoop.h"
#include "platform/Messaging.h"
#include "tests/crawl/MirrorTree.h"
#include "tests/crawl/ProjectFixture.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using Tree = std::map<std::string, std::string>;
using test::PutFile;
using test::TreeOf;

// Only the files of a tree (no folder entries), for comparing contents.
// The mirror's token changes with what the operations remove, as it should; its value is its own.
Tree MirrorTreeOf(const std::string& root) {
  Tree tree = TreeOf(root);
  std::erase_if(tree, [](const auto& file) { return file.first.ends_with(".mg"); });
  return tree;
}

Tree FilesOf(const std::string& root) {
  Tree files;
  for (const auto& [path, bytes] : MirrorTreeOf(root)) {
    if (!path.ends_with('/')) files[path] = bytes;
  }
  return files;
}

Tree Joined(Tree a, const Tree& b) {
  a.insert(b.begin(), b.end());
  return a;
}

class SavedDataOperationTest : public testing::Test, public test::ProjectFixture {
 protected:
  SavedDataOperationTest() {
    folder_ = &AddFolder(Root(), "F");
    item_ = &AddUrl(*folder_, "http://h/a/index.html");
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
    // The project's queue files stay whatever happens to its saved data.
    for (const char* name : {"proj/proj.uq", "proj/proj.lq"}) {
      queue_files_[name] = test::ReadFileBytes(Mirror() + name);
    }
  }

  // The files no operation on the URL item touches.
  Tree OtherFiles() const {
    return Joined(queue_files_, {{"proj/F/h/a/sub/deeper.html", "too deep"},
                                 {"proj/F/h/other.html", "outside the area"}});
  }

  std::string Dest() const { return Dir() + "/Dest/"; }
  void Put(const std::string& url, const std::string& bytes) {
    PutFile(*store_.LocalPath(url, "proj/F"), bytes);
  }
  SavedDataOperation& Run(int operation, const ProjectItem* item, std::string destination = "") {
    events_ = {};
    operation_ = std::make_unique<SavedDataOperation>(Doc(), store_, events_);
    operation_->Run({operation, item, std::move(destination)});
    EXPECT_TRUE(operation_->HasEnded());
    EXPECT_FALSE(IsRegularFile(Mirror() + "proj/proj.det"));
    EXPECT_FALSE(IsRegularFile(Mirror() + "proj/proj.del"));
    return *operation_;
  }

  std::recursive_mutex lock_;
  MirrorStore store_{Mirror(), lock_, false};
  test::RecordedEvents events_;
  ProjectItem* folder_;
  ProjectItem* item_;
  std::unique_ptr<SavedDataOperation> operation_;
  Tree queue_files_;
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
Tree Prefixed(const std::string& prefix, const Tree& tree) {
  Tree result;
  for (const auto& [path, bytes] : tree) result[prefix + path] = bytes;
  return result;
}

TEST_F(SavedDataOperationTest, DeletingAUrlItemRemovesWhatItsPatrolWouldFollow) {
  const SavedDataOperation& op = Run(SavedDataRequest::kDelete, item_);
  EXPECT_EQ(op.Error(), SavedDataOperation::kOk);
  EXPECT_EQ(op.Failures(), 0);
  // The emptied pictures folder went with its file; sub/ still holds the page beyond GraphMax.
  EXPECT_EQ(MirrorTreeOf(Mirror()), Joined(OtherFiles(), {{"proj/", ""},
                                                    {"proj/F/", ""},
                                                    {"proj/F/h/", ""},
                                                    {"proj/F/h/a/", ""},
                                                    {"proj/F/h/a/sub/", ""}}));
  // The item, x.html, p.jpg, deep.html, gone.html (nothing stored, still worked on).
  EXPECT_EQ(events_.detected, 5);
  EXPECT_EQ(events_.visited.size(), 5u);
  EXPECT_EQ(events_.failed.size(), 0u);
}

TEST_F(SavedDataOperationTest, CopyingAUrlItemKeepsItsLayoutBelowTheDestination) {
  const Tree before = MirrorTreeOf(Mirror());
  const SavedDataOperation& op = Run(SavedDataRequest::kCopy, item_, Dest());
  EXPECT_EQ(op.Failures(), 0);
  EXPECT_EQ(FilesOf(Dest()), kItemFiles);
  EXPECT_EQ(MirrorTreeOf(Mirror()), before);
}

TEST_F(SavedDataOperationTest, MovingAUrlItemTakesItsFilesAlong) {
  Run(SavedDataRequest::kMove, item_, Dest().substr(0, Dest().size() - 1));
  EXPECT_EQ(FilesOf(Dest()), kItemFiles);
  EXPECT_EQ(FilesOf(Mirror()), OtherFiles());
}

TEST_F(SavedDataOperationTest, FolderItemsWorkOnTheirWholeFolder) {
  Run(SavedDataRequest::kCopy, folder_, Dest());
  EXPECT_EQ(FilesOf(Dest()),
            Prefixed("F/", Joined(kItemFiles, {{"h/a/sub/deeper.html", "too deep"},
                                               {"h/other.html", "outside the area"}})));
  events_ = {};
  Run(SavedDataRequest::kDelete, folder_);
  EXPECT_EQ(MirrorTreeOf(Mirror()), Joined(queue_files_, {{"proj/", ""}}));
  // F, h, a, pics, sub: each folder found is queued, worked on and done.
  EXPECT_EQ(events_.detected, 5);
  EXPECT_EQ(events_.visited.size(), 5u);
}

TEST_F(SavedDataOperationTest, MovingTheRootLeavesTheProjectsOwnFilesInPlace) {
  Run(SavedDataRequest::kMove, &Root(), Dest());
  EXPECT_EQ(FilesOf(Dest()),
            Prefixed("proj/F/", Joined(kItemFiles, {{"h/a/sub/deeper.html", "too deep"},
                                                    {"h/other.html", "outside the area"}})));
  EXPECT_EQ(MirrorTreeOf(Mirror()), Joined(queue_files_, {{"proj/", ""}}));
}

TEST_F(SavedDataOperationTest, AMovedRobotsTxtGoesWithItsRedirectPage) {
  ASSERT_EQ(std::remove((Mirror() + "proj/F/h/robots.txt").c_str()), 0);
  ASSERT_EQ(
      store_.WriteRedirectPage("http://h/robots.txt", "proj/F", "http://n/r/robots.txt", true),
      MirrorStore::kStoreOk);
  Put("http://n/r/robots.txt", "moved rules");
  Run(SavedDataRequest::kDelete, item_);
  EXPECT_EQ(FilesOf(Mirror()), OtherFiles());
}

TEST_F(SavedDataOperationTest, DenselyLinkedPagesAreCollectedOnce) {
  item_->SetURL("http://d/p0.html");
  item_->SetOwn(ItemOption::GraphMax, 6);
  std::string links;
  for (int i = 0; i < 12; ++i) links += "<a href=p" + std::to_string(i) + ".html>";
  for (int i = 0; i < 12; ++i) Put("http://d/p" + std::to_string(i) + ".html", links);
  Run(SavedDataRequest::kDelete, item_);
  EXPECT_EQ(FilesOf(Mirror() + "proj/F/d"), Tree{});
  // Each page is collected once, from the item's page, and worked on once; reaching it again
  // deeper adds nothing (a patrol would queue 12 to the power of 6 records here).
  EXPECT_EQ(events_.visited.size(), 12u);
  EXPECT_LE(events_.detected, 1 + 12 + 12 * 12);
}

TEST_F(SavedDataOperationTest, RunsStepByStepAndStopsOnRequest) {
  SavedDataOperation op(Doc(), store_, events_);
  unsigned message = op.Start({SavedDataRequest::kDelete, item_, ""});
  EXPECT_EQ(message, kMsgCollectUrl);
  message = op.Step(message);
  EXPECT_EQ(message, kMsgCollectUrl);
  EXPECT_TRUE(IsRegularFile(Mirror() + "proj/proj.det"));
  op.Stop();
  EXPECT_EQ(op.Step(message), 0u);
  EXPECT_TRUE(op.HasEnded());
  EXPECT_EQ(op.Step(kMsgCollectUrl), 0u);
  // Nothing was deleted before the stop.
  EXPECT_EQ(FilesOf(Mirror() + "proj/F/"),
            Joined(kItemFiles,
                   {{"h/a/sub/deeper.html", "too deep"}, {"h/other.html", "outside the area"}}));
  EXPECT_FALSE(IsRegularFile(Mirror() + "proj/proj.det"));
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
  const Tree before = MirrorTreeOf(Mirror());
  for (const Case& c : cases) {
    events_ = {};
    SavedDataOperation op(Doc(), store_, events_);
    EXPECT_EQ(op.Start({c.operation, c.item, c.destination}), 0u);
    EXPECT_EQ(op.Error(), SavedDataOperation::kBadRequest);
    EXPECT_TRUE(op.HasEnded());
  }
  EXPECT_EQ(MirrorTreeOf(Mirror()), before);
}

TEST_F(SavedDataOperationTest, ReportsListsThatCannotBePlaced) {
  // A file where the work folder should be.
  test::TempDir other;
  PutFile(other.Path() + "/Mirror/proj", "not a folder");
  MirrorStore store(other.Path() + "/Mirror", lock_, false);
  SavedDataOperation op(Doc(), store, events_);
  EXPECT_EQ(op.Start({SavedDataRequest::kDelete, item_, ""}), 0u);
  EXPECT_EQ(op.Error(), SavedDataOperation::kListFailed);
}

TEST_F(SavedDataOperationTest, ADownloadManagerCarriesOutTheRequestPostedToIt) {
  EventLoop loop;
  test::Watchdog watchdog(std::chrono::seconds(20), loop.Id());
  std::vector<unsigned> received;
  test::LambdaWindow notify([&](Message& msg) {
    received.push_back(msg.message);
    return LResult{0};
  });
  ASSERT_TRUE(notify.Create());
  DLManager::SetSavedDataFactory(&SavedDataJob::Make);
  auto request = std::make_unique<PatrolRequest>();
  request->requester = notify.Handle();
  request->doc = &Doc();
  request->durable = false;
  std::unique_ptr<Window> manager = DLManager::Make(std::move(request));
  ASSERT_TRUE(manager);

  PostMessage(manager->Handle(), kMsgSavedDataStart, 0, 0,
              MakePayload(SavedDataRequest{SavedDataRequest::kMove, item_, Dest()}));
  ASSERT_TRUE(test::PumpUntil(loop, [&] { return notify.Count(kMsgPatrolEnded) == 1; }));
  EXPECT_EQ(FilesOf(Dest()), kItemFiles);
  EXPECT_EQ(FilesOf(Mirror()), OtherFiles());
  EXPECT_EQ(notify.Count(kMsgDetected), 5);
  EXPECT_EQ(notify.Count(kMsgVisited), 5);
  EXPECT_EQ(received.back(), kMsgPatrolEnded);
  EXPECT_FALSE(IsWindow(manager->Handle()));
  DLManager::SetSavedDataFactory(nullptr);
}

TEST_F(SavedDataOperationTest, AStoppedOperationEndsAndLeavesNoLists) {
  EventLoop loop;
  test::Watchdog watchdog(std::chrono::seconds(20), loop.Id());
  test::LambdaWindow notify;
  ASSERT_TRUE(notify.Create());
  DLManager::SetSavedDataFactory(&SavedDataJob::Make);
  auto request = std::make_unique<PatrolRequest>();
  request->requester = notify.Handle();
  request->doc = &Doc();
  std::unique_ptr<Window> manager = DLManager::Make(std::move(request));
  ASSERT_TRUE(manager);
  PostMessage(manager->Handle(), kMsgSavedDataStart, 0, 0,
              MakePayload(SavedDataRequest{SavedDataRequest::kDelete, item_, ""}));
  PostMessage(manager->Handle(), kMsgStop);
  ASSERT_TRUE(test::PumpUntil(loop, [&] { return notify.Count(kMsgPatrolEnded) == 1; }));
  test::PumpFor(loop, std::chrono::milliseconds(50));
  EXPECT_EQ(notify.Count(kMsgPatrolEnded), 1);
  manager.reset();
  EXPECT_FALSE(IsRegularFile(Mirror() + "proj/proj.det"));
  EXPECT_FALSE(IsRegularFile(Mirror() + "proj/proj.del"));
  // Stopped before its operation steps: every file is still there.
  EXPECT_TRUE(IsRegularFile(Mirror() + "proj/F/h/a/index.html"));
  DLManager::SetSavedDataFactory(nullptr);
}

}  // namespace
}  // namespace qlm
