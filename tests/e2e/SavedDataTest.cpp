// Saved data of a mirror that the real QLM patrolled, deleted, copied and moved by a download
// manager on a worker thread, as the status view asks for it; then the next patrol.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "crawl/SavedDataOperation.h"
#include "net/CWSThread.h"
#include "net/WSMessages.h"
#include "net/WSStartup.h"
#include "platform/EventLoop.h"
#include "platform/Messaging.h"
#include "platform/TerminalPrompt.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "tests/e2e/HeadlessPatrol.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/SiteServer.h"

namespace qlm {
namespace {

namespace fs = std::filesystem;
using test::HeadlessPatrol;
using test::SiteServer;
using Tree = std::map<std::string, std::string>;

void Site(SiteServer& site) {
  site.Route("/a/index.html", SiteServer::Html("<html><head></head><a href=more.html>m</a>"
                                               "<img src=pic.jpg></html>"));
  site.Route("/a/more.html", SiteServer::Html("<html><head></head>more</html>"));
  site.Route("/a/pic.jpg", SiteServer::Typed("image/jpeg", "\xFF\xD8 a picture"));
  site.Route("/b.html", SiteServer::Html("<html><head></head>b</html>"));
}

std::string Project(const SiteServer& site) {
  return "ProjectDefault\n{\n\tAccessInterval=0\n\tGraphMax=2\n}\nFolder=\"F\"\n{\n\tRecord\n\t{\n"
         "\t\tURL=\"" +
         site.Url("/a/index.html") + "\"\n\t}\n}\nRecord\n{\n\tURL=\"" + site.Url("/b.html") +
         "\"\n}\n";
}

// Files (not folders) of a tree below `prefix`, by their path below it.
Tree Below(const Tree& tree, const std::string& prefix) {
  Tree files;
  for (const auto& [path, bytes] : tree) {
    if (path.rfind(prefix, 0) == 0 && !path.ends_with("/"))
      files[path.substr(prefix.size())] = bytes;
  }
  return files;
}

Tree FilesOf(const std::string& root) {
  Tree files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file()) {
      files[it->path().string().substr(root.size())] = test::ReadFileBytes(it->path().string());
    }
  }
  return files;
}

// Opens the project as the main program does and runs one saved-data operation to its end.
void RunSavedData(const HeadlessPatrol& patrol, int operation, const std::string& folder_path,
                  const std::string& url, const std::string& destination = "") {
  AppSettings settings;
  settings.Read();
  TerminalPrompt prompt(stdin, stderr, false);
  CQLMDoc doc(settings, prompt);
  ASSERT_TRUE(doc.Open(patrol.ProjectPath()));
  const ProjectItem* item = doc.FindItem(folder_path, url);
  ASSERT_NE(item, nullptr) << folder_path << " " << url;

  EventLoop loop;
  bool ended = false;
  test::LambdaWindow notify([&](Message& msg) -> LResult {
    if (msg.message == kMsgManagerCreated) {
      const Hwnd manager = msg.TakePayloadValue<Hwnd>(0);
      EXPECT_NE(manager, Hwnd{0});
      SavedDataRequest job;
      job.operation = operation;
      job.item = item;
      job.destination = destination;
      PostMessage(manager, kMsgSavedDataStart, 0, 0, MakePayload(job));
    }
    if (msg.message == kMsgPatrolEnded) ended = true;
    return 0;
  });
  ASSERT_TRUE(notify.Create());
  WSStartup();
  CWSThread worker;
  ASSERT_TRUE(worker.Start());
  DLManager::Install();
  auto request = std::make_unique<PatrolRequest>();
  request->requester = notify.Handle();
  request->doc = &doc;
  doc.SetPatrolRunning(true);
  PostThreadMessage(worker.Id(), WM_WS_CREATE_MANAGER, 0, 0, std::move(request));
  EXPECT_TRUE(test::PumpUntil(loop, [&] { return ended; }));
  worker.Stop();
  CWSThread::SetManagerFactory(nullptr);
  doc.SetPatrolRunning(false);
}

TEST(SavedData, CopyMoveAndDeleteWorkOnWhatQlmStoredAndTheNextPatrolRestoresIt) {
  SiteServer site;
  Site(site);
  HeadlessPatrol patrol("site", "UseRobotsTxt=1\n");
  patrol.Project(Project(site));
  ASSERT_EQ(patrol.Patrol(), 0);
  const Tree mirror = patrol.Tree();
  const Tree item_a = Below(mirror, "F/127.0.0.1/");
  ASSERT_EQ(item_a.size(), 4u);  // index.html, more.html, pic.jpg and the robots.txt copy
  ASSERT_EQ(Below(mirror, "127.0.0.1/").size(), 2u);  // b.html and its robots.txt copy

  // Copy a URL item: its files, by host and path, below the destination; the mirror unchanged.
  test::TempDir copies;
  RunSavedData(patrol, SavedDataRequest::kCopy, "site/F", site.Url("/a/index.html"),
               copies.Path() + "/");
  EXPECT_EQ(FilesOf(copies.Path() + "/127.0.0.1/"), item_a);
  EXPECT_EQ(patrol.Tree(), mirror);

  // Move the folder item: it leaves the mirror with everything below it.
  test::TempDir moved;
  RunSavedData(patrol, SavedDataRequest::kMove, "site/F", "", moved.Path() + "/");
  EXPECT_EQ(FilesOf(moved.Path() + "/F/127.0.0.1/"), item_a);
  EXPECT_FALSE(fs::exists(patrol.ProjectFolder() + "F"));
  EXPECT_EQ(Below(patrol.Tree(), "127.0.0.1/"), Below(mirror, "127.0.0.1/"));

  // Delete the other URL item: its files and the folders they emptied go.
  RunSavedData(patrol, SavedDataRequest::kDelete, "site", site.Url("/b.html"));
  EXPECT_FALSE(fs::exists(patrol.ProjectFolder() + "127.0.0.1"));

  // The next patrol fetches everything again and leaves the same mirror as the first.
  std::string out, err;
  ASSERT_EQ(patrol.Patrol(&out, &err), 0) << out << err;
  EXPECT_EQ(patrol.Tree(), mirror);
  EXPECT_EQ(site.Count("/a/pic.jpg"), 2u);
}

}  // namespace
}  // namespace qlm
