// The real `QLM --patrol` and `QLM --list` with broken files: a project file that does not read
// whole, or is no plain file, is refused with its line; a queue file that lost its records is
// refused and left as it is, with `--reset` offered; a record that does not read is told.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "project/LinkRecord.h"
#include "project/PatrolQueue.h"
#include "tests/e2e/HeadlessPatrol.h"
#include "tests/support/SiteServer.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::HeadlessPatrol;
using test::SiteServer;

std::string Project(const std::string& url) {
  return test::OneItemProject(url, "GraphMax=1");
}

TEST(ProjectFile, AFileThatDoesNotReadWhollyIsRefusedWithItsLine) {
  HeadlessPatrol patrol;
  const std::string whole = Project("http://127.0.0.1:9/");
  struct Case {
    const char* what;
    std::string bytes;
    std::string line;
  };
  const Case cases[] = {
      {"empty", "", "line 1 "},
      {"cut off", whole.substr(0, whole.size() - 3), "line 8 "},
      {"binary",
       std::string("\x7f"
                   "ELF\x02\x01\x01\0\n\n",
                   10),
       "line 1 "},
      {"UTF-16", std::string("\xff\xfeP\0r\0o\0", 8), "line 1 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    patrol.Project(c.bytes);
    for (const char* command : {"--patrol", "--list"}) {
      std::string out, err;
      EXPECT_EQ(patrol.Run({command}, &out, &err), 2) << command << out;
      EXPECT_NE(err.find("QLM: the project file " + patrol.ProjectPath() + " cannot be read past " +
                         c.line),
                std::string::npos)
          << err;
      EXPECT_EQ(test::ReadFileBytes(patrol.ProjectPath()), c.bytes);
    }
  }
  // A FIFO in the project's place is refused at once, not waited on.
  ASSERT_EQ(std::remove(patrol.ProjectPath().c_str()), 0);
  ASSERT_EQ(::mkfifo(patrol.ProjectPath().c_str(), 0600), 0);
  std::string out, err;
  EXPECT_EQ(patrol.Patrol(&out, &err), 2);
  EXPECT_NE(err.find("not a plain file"), std::string::npos) << err;
}

TEST(QueueFile, ADamagedQueueFileIsRefusedLeftAsItIsAndResetOffered) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<html><head></head><a href=a.html>a</a></html>"));
  site.Route("/a.html", SiteServer::Html("<html><head></head>a</html>"));
  for (const char* queue : {".uq", ".lq"}) {
    for (const std::string& bytes : {std::string(), std::string("\x2c\0\0", 3)}) {
      SCOPED_TRACE(std::string(queue) + " of " + std::to_string(bytes.size()) + " bytes");
      HeadlessPatrol patrol;
      patrol.Project(Project(site.Url("/")));
      std::string out, err;
      ASSERT_EQ(patrol.Patrol(&out, &err), 0) << out << err;
      const std::string path = patrol.ProjectFolder() + "site" + queue;
      ASSERT_TRUE(test::WriteFileBytes(path, bytes));
      for (const char* command : {"--patrol", "--list"}) {
        EXPECT_EQ(patrol.Run({command}, &out, &err), 2) << command << out;
        EXPECT_NE(err.find("the queue file " + path + " is damaged"), std::string::npos) << err;
        EXPECT_NE(err.find("QLM --reset " + patrol.ProjectPath()), std::string::npos) << err;
        EXPECT_EQ(test::ReadFileBytes(path), bytes) << "left as it is";
      }
      EXPECT_EQ(patrol.Run({"--reset"}, &out, &err), 0) << err;
      EXPECT_EQ(patrol.Patrol(&out, &err), 0) << out << err;
      EXPECT_EQ(test::LastLine(out), "Detected 2 Retry 0 Visited 2 Failed 0 Localize 2 Modified 2");
    }
  }
}

TEST(QueueFile, RecordsThatDoNotReadAreSkippedAndCounted) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<html><head></head>top</html>"));
  HeadlessPatrol patrol;
  patrol.Project(Project(site.Url("/")));
  std::string out, err;
  ASSERT_EQ(patrol.Patrol(&out, &err), 0) << out << err;
  {
    // What a stopped patrol left: one good record between two that are not records at all.
    PatrolQueue queue(LinkRecord::kVersion);
    ASSERT_TRUE(queue.Open(patrol.ProjectFolder() + "site.uq"));
    LinkRecord record;
    record.url = site.Url("/");
    record.item_url = site.Url("/");
    record.folder_path = "site";
    ASSERT_TRUE(queue.Append(std::string_view("not a record")));
    ASSERT_TRUE(queue.Append(record));
    ASSERT_TRUE(queue.Append(std::string_view("\x01\x02")));
  }
  ASSERT_EQ(patrol.Patrol(&out, &err), 0) << out << err;
  EXPECT_NE(err.find("QLM: 2 records of the queue files could not be read and were skipped"),
            std::string::npos)
      << err;
}

}  // namespace
}  // namespace qlm
