// What `QLM --patrol` does beside fetching, as the main program does for its patrols: it brings
// the dial-up line up first when AutoDialup is on, offers the pictures it stores to a running
// display, and gives the slide-show list the titles its items take from their pages.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "picture/PictureQueue.h"
#include "picture/PictureRecord.h"
#include "platform/TerminalPrompt.h"
#include "project/CSSDoc.h"
#include "tests/e2e/HeadlessPatrol.h"
#include "tests/e2e/QlmProcess.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/platform/ChildProcess.h"
#include "tests/support/FakeNmcli.h"
#include "tests/support/SiteServer.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::HeadlessPatrol;
using test::QlmProcess;
using test::SiteServer;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string DataFolder() {
  return std::string(std::getenv("XDG_DATA_HOME")) + "/Quillmere/";
}

std::string OnePage(const std::string& url) {
  return "ProjectDefault\n{\n\tAccessInterval=0\n\tGraphMax=1\n}\nRecord\n{\n\tURL=\"" + url +
         "\"\n}\n";
}

// The status texts as a UTF-8 terminal shows them.
const std::string kDialling = "\xE3\x83\x80\xE3\x82\xA4\xE3\x82\xA2\xE3\x83\xAB\xE4\xB8\xAD";
const std::string kConnected =
    "\xE3\x83\x80\xE3\x82\xA4\xE3\x82\xA2\xE3\x83\xAB\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97\xE6\x8E"
    "\xA5\xE7\xB6\x9A\xE4\xB8\xAD";  // ダイアルアップ接続中
const std::string kDisconnected =
    "\xE3\x83\x80\xE3\x82\xA4\xE3\x82\xA2\xE3\x83\xAB\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97\xE6\x9C"
    "\xAA\xE6\x8E\xA5\xE7\xB6\x9A";  // ダイアルアップ未接続
const std::string kUnexpected =
    "\xE4\xBA\x88\xE6\x9C\x9F\xE3\x81\x9B\xE3\x81\xAC\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC\xE3\x81"
    "\x8C\xE7\x99\xBA\xE7\x94\x9F\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F";  // 予期せぬ...

TEST(PatrolServices, AutoDialBringsTheLineUpFirstAndTakesItDownAtTheEnd) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<html><body>up</body></html>"));
  HeadlessPatrol patrol("site", "AutoDialup=1\nDialupEntry=isp\n");
  patrol.Project(OnePage(site.Url("/")));
  test::TempDir nm;
  ASSERT_TRUE(test::WriteFakeNmcli(nm.File("nmcli")));
  ASSERT_TRUE(test::WriteFileBytes(nm.File("profiles"), "isp:vpn\nwired:802-3-ethernet\n"));
  std::filesystem::create_directories(nm.File("settings/isp"));
  const std::string path = "PATH=" + nm.Path() + ":" + std::getenv("PATH");

  std::string out, err;
  ASSERT_EQ(QlmProcess::Run({"--patrol", patrol.ProjectPath()}, &out, &err,
                            std::chrono::seconds(60), {path, "LC_ALL=C.UTF-8"}),
            0)
      << out << err;
  EXPECT_EQ(site.Count("/"), 1u);
  // The states in order: dialling, up, and given up once the patrol has ended.
  const std::size_t dialling = out.find("Dial-up: " + kDialling + "\n");
  const std::size_t connected = out.find("Dial-up: " + kConnected + "\n");
  const std::size_t visited = out.find("Visited " + site.Url("/"));
  const std::size_t released = out.find("Dial-up: " + kDisconnected + "\n");
  ASSERT_NE(released, std::string::npos) << out;
  EXPECT_LT(dialling, connected) << out;
  EXPECT_LT(connected, visited) << out;
  EXPECT_LT(visited, released) << out;
  const std::string log = test::ReadFileBytes(nm.File("log"));
  EXPECT_TRUE(Has(log, "connection up id isp")) << log;
  EXPECT_TRUE(Has(log, "connection down id isp")) << log;
}

TEST(PatrolServices, WithoutAConnectionBackEndTheDialFailsAndNothingIsFetched) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<html><body>never</body></html>"));
  HeadlessPatrol patrol("site", "AutoDialup=1\n");
  patrol.Project(OnePage(site.Url("/")));
  test::TempDir empty;  // a PATH without nmcli

  std::string out, err;
  EXPECT_EQ(QlmProcess::Run({"--patrol", patrol.ProjectPath()}, &out, &err,
                            std::chrono::seconds(60), {"PATH=" + empty.Path(), "LC_ALL=C.UTF-8"}),
            1);
  EXPECT_TRUE(Has(out, "Dial-up: " + kUnexpected + "\n")) << out;
  EXPECT_TRUE(Has(err, "the dial-up line could not be opened (" + kUnexpected + ", error 711)"))
      << err;
  EXPECT_TRUE(Has(err, "the patrol was not started")) << err;
  EXPECT_TRUE(site.Requests().empty());
}

TEST(PatrolServices, PicturesGoToTheRunningDisplayAndTitlesToTheSlideShowList) {
  SiteServer site;
  test::TempDir pictures;
  ASSERT_TRUE(test::WriteTestJpeg(pictures.File("big.jpg"), {.width = 64, .height = 48}));
  ASSERT_TRUE(test::WriteTestJpeg(pictures.File("small.jpg"), {.width = 63, .height = 48}));
  site.Route("/", SiteServer::Html("<html><head><title>Top Page</title></head><body>"
                                   "<img src=\"big.jpg\"><img src=\"small.jpg\"></body></html>"));
  site.Route("/big.jpg",
             SiteServer::Typed("image/jpeg", test::ReadFileBytes(pictures.File("big.jpg"))));
  site.Route("/small.jpg",
             SiteServer::Typed("image/jpeg", test::ReadFileBytes(pictures.File("small.jpg"))));
  HeadlessPatrol patrol("site");
  patrol.Project(OnePage(site.Url("/")));

  // The record's slide-show entry: pictures of at least 64 x 48, effect 3, 7 seconds each.
  std::filesystem::create_directories(DataFolder());
  std::remove((DataFolder() + "WP.lst").c_str());
  CSSDoc slides;
  {
    std::lock_guard lock(slides.Mutex());
    SlideEntry entry;
    entry.file = patrol.ProjectPath();
    entry.folder = "site";
    entry.url = site.Url("/");
    entry.display = SlideDisplay{3, 10, 0x123456, 64, 48, 0, 7};
    slides.Append(entry);
  }
  ASSERT_TRUE(slides.Save(DataFolder()));

  // A slide window of this user runs: the test display, in a process of its own.
  test::ChildProcess display;
  ASSERT_TRUE(display.Start(
      QLM_TEST_DISPLAY, {"QlmSwClass", "Quillmere Slide Window", pictures.File("log"), "mute"}));
  ASSERT_FALSE(display.ReadLine(10000).empty());

  std::string out, err;
  ASSERT_EQ(patrol.Patrol(&out, &err), 0) << out << err;

  TerminalPrompt prompt(stdin, stderr, false);
  PictureQueue queue;
  ASSERT_EQ(queue.Open(DataFolder(), prompt), PictureQueue::OpenResult::kOpened);
  PictureRecord next;
  ASSERT_TRUE(queue.Pop(next));
  EXPECT_EQ(next.mark, "New Picture");
  EXPECT_EQ(next.file, patrol.ProjectFolder() + "127.0.0.1/big.jpg");
  EXPECT_EQ(next.effect, 3);
  EXPECT_EQ(next.colour, 0x123456);
  EXPECT_EQ(next.min_width, 64);
  EXPECT_EQ(next.interval, 7);
  EXPECT_FALSE(queue.Pop(next)) << "the narrower picture is left out";
  queue.Close();

  ASSERT_TRUE(slides.Load(DataFolder()));
  std::lock_guard lock(slides.Mutex());
  ASSERT_EQ(slides.Count(), 1u);
  EXPECT_EQ(slides.Entries()[0]->title, "Top Page");
  display.Kill(SIGTERM);
}

}  // namespace
}  // namespace qlm
