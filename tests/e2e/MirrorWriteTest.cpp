// The real `QLM --patrol` when the mirror cannot take a body: a full file system stops the patrol
// in order and the next one resumes; a body past the size bound fails and leaves the old copy.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "tests/e2e/HeadlessPatrol.h"
#include "tests/e2e/QlmProcess.h"
#include "tests/support/SiteServer.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::HeadlessPatrol;
using test::SiteServer;

std::string Project(const std::string& url) {
  return test::OneItemProject(url, "GraphMax=2");
}

std::string Picture(std::size_t size, char fill) {
  std::string bytes = "\xFF\xD8\xFF\xE0";
  bytes.resize(size, fill);
  return bytes;
}

// A mirror folder on a file system of 1 MiB (a tmpfs in a private mount namespace): the first
// patrol runs into the full disk with a 2 MiB picture; the file system then grows and the second
// patrol carries on. The mirror lives only as long as the namespace, so it is copied out.
TEST(MirrorWrite, AFullFileSystemStopsThePatrolAndTheNextOneResumes) {
  SiteServer site;
  const std::string big = Picture(2 << 20, 'p');
  site.Route("/", SiteServer::Html("<html><head></head><a href=a.html>a</a><img src=big.jpg>"
                                   "<a href=b.html>b</a></html>"));
  site.Route("/a.html", SiteServer::Html("<html><head></head>a</html>"));
  site.Route("/b.html", SiteServer::Html("<html><head></head>b</html>"));
  site.Route("/big.jpg", SiteServer::Typed("image/jpeg", big));
  HeadlessPatrol patrol("site", "FreeSpaceReserve=0\n");
  patrol.Project(Project(site.Url("/")));
  test::TempDir work;
  const std::string copy = work.Path() + "/copy";
  std::filesystem::create_directories(patrol.Mirror());
  const std::string qlm = test::QlmProcess::Program();
  const std::string run = qlm + " --patrol " + patrol.ProjectPath();
  const std::string script =
      "mount -t tmpfs -o size=1m qlm '" + patrol.Mirror() + "' || exit 99\n" + run + " >'" +
      work.Path() + "/out1' 2>'" + work.Path() + "/err1'\necho $? >'" + work.Path() + "/rc1'\n" +
      "mount -o remount,size=16m '" + patrol.Mirror() + "' || exit 98\n" + run + " >'" +
      work.Path() + "/out2' 2>'" + work.Path() + "/err2'\necho $? >'" + work.Path() + "/rc2'\n" +
      "cp -a '" + patrol.ProjectFolder() + "' '" + copy + "'\n";
  ASSERT_TRUE(test::WriteFileBytes(work.File("run.sh"), script));
  const int status =
      std::system(("unshare -r -m sh " + work.File("run.sh") + " 2>/dev/null").c_str());
  if (WIFEXITED(status) && WEXITSTATUS(status) >= 98) {
    GTEST_SKIP() << "no private mount namespace with a tmpfs here";
  }
  ASSERT_EQ(status, 0);

  const std::string err1 = test::ReadFileBytes(work.File("err1"));
  EXPECT_EQ(test::ReadFileBytes(work.File("rc1")), "1\n") << err1;
  EXPECT_NE(err1.find("QLM: the file system of the mirror is full (No space left on device"),
            std::string::npos)
      << err1;
  EXPECT_NE(err1.find("the next patrol carries on where it stopped"), std::string::npos);
  const std::string out1 = test::ReadFileBytes(work.File("out1"));
  EXPECT_EQ(out1.find("Visited " + site.Url("/big.jpg")), std::string::npos) << out1;

  const std::string out2 = test::ReadFileBytes(work.File("out2"));
  EXPECT_EQ(test::ReadFileBytes(work.File("rc2")), "0\n")
      << out2 << test::ReadFileBytes(work.File("err2"));
  EXPECT_NE(out2.find("Visited " + site.Url("/big.jpg")), std::string::npos) << out2;
  std::map<std::string, int> counters = test::Counters(out2);
  EXPECT_EQ(counters["Failed"], 0) << out2;
  EXPECT_TRUE(test::ReadFileBytes(copy + "/127.0.0.1/big.jpg") == big) << "stored whole";
  for (const auto& entry : std::filesystem::directory_iterator(copy)) {
    EXPECT_FALSE(test::IsLeftover(entry.path().filename().string())) << entry.path();
  }
}

// A body past MaxFileSize (MiB) fails its record; the copy of an earlier patrol stays as it was
// and no part of the new body is left behind.
TEST(MirrorWrite, ABodyPastTheSizeBoundFailsAndLeavesTheOldCopy) {
  SiteServer site;
  site.Route("/", SiteServer::Html("<html><head></head><img src=p.jpg></html>"));
  const std::string small = Picture(100, 's');
  site.Route("/p.jpg", SiteServer::Typed("image/jpeg", small));
  HeadlessPatrol patrol("site", "MaxFileSize=1\n");
  patrol.Project(Project(site.Url("/")));
  std::string out, err;
  ASSERT_EQ(patrol.Patrol(&out, &err), 0) << out << err;
  const std::string stored = patrol.ProjectFolder() + "127.0.0.1/p.jpg";
  ASSERT_EQ(test::ReadFileBytes(stored), small);

  site.Route("/p.jpg", SiteServer::Typed("image/jpeg", Picture((1 << 20) + 1, 'b')));
  ASSERT_EQ(patrol.Patrol(&out, &err), 0) << out << err;
  EXPECT_NE(out.find("Failed " + site.Url("/p.jpg") + "\n"), std::string::npos) << out;
  EXPECT_EQ(test::Counters(out)["Failed"], 1) << out;
  EXPECT_EQ(test::ReadFileBytes(stored), small);
  EXPECT_EQ(patrol.Leftovers(), std::vector<std::string>{});
}

}  // namespace
}  // namespace qlm
