#include <gtest/gtest.h>

#include <mutex>

#include "crawl/MirrorStore.h"
#include "crawl/RobotsCopy.h"
#include "tests/crawl/MirrorTree.h"

namespace qlm {
namespace {

class RobotsCopyTest : public testing::Test {
 protected:
  void StoreRobots(const std::string& robots_url, const std::string& text) {
    const std::string temp = dir_.File("tmp.dat");
    test::WriteFileBytes(temp, text);
    ASSERT_EQ(store_.StoreRobotsTxt(robots_url, "p", temp), MirrorStore::kStoreOk);
  }

  test::TempDir dir_;
  std::recursive_mutex lock_;
  MirrorStore store_{dir_.Path() + "/Mirror/", lock_, false};
};

TEST_F(RobotsCopyTest, VerdictsComeFromTheStoredCopyOfTheSite) {
  StoreRobots(
      "http://h:8080/robots.txt",
      "User-agent: *\r\nDisallow: /cgi-bin/\r\n\r\nUser-agent: Quillmere\r\nDisallow: /\r\n");
  EXPECT_EQ(IsAllowedByRobots(store_, "http://h:8080/robots.txt", "http://h:8080/cgi-bin/x", "p"),
            0);
  EXPECT_EQ(IsAllowedByRobots(store_, "http://h:8080/robots.txt", "http://h:8080/index.html", "p"),
            1);
  // Another item keeps its own copies: none there, so nothing is allowed.
  EXPECT_EQ(IsAllowedByRobots(store_, "http://h:8080/robots.txt", "http://h:8080/index.html", "q"),
            0);
  EXPECT_EQ(IsAllowedByRobots(store_, "http://o/robots.txt", "http://o/index.html", "p"), 0);

  ASSERT_EQ(store_.WritePermissiveRobotsTxt("http://o/robots.txt", "p"), MirrorStore::kStoreOk);
  EXPECT_EQ(IsAllowedByRobots(store_, "http://o/robots.txt", "http://o/cgi-bin/x", "p"), 1);
}

TEST_F(RobotsCopyTest, StateIsKnownMovedOrUnwrittenForThisPatrol) {
  const FileTime before = std::chrono::system_clock::now() - std::chrono::minutes(1);
  EXPECT_EQ(RobotsCopyState(store_, "http://h/robots.txt", "p", before), kRobotsUnwritten);

  ASSERT_EQ(store_.WriteRedirectPage("http://h/robots.txt", "p", "http://n/r/robots.txt", true),
            MirrorStore::kStoreOk);
  EXPECT_EQ(RobotsCopyState(store_, "http://h/robots.txt", "p", before), kRobotsMoved);
  EXPECT_EQ(MovedRobotsLocation(store_, "http://h/robots.txt", "p"), "http://n/r/robots.txt");

  StoreRobots("http://h/robots.txt", "User-agent: *\r\nDisallow: /x\r\n");
  EXPECT_EQ(RobotsCopyState(store_, "http://h/robots.txt", "p", before), kRobotsKnown);

  // Copies from an earlier patrol do not count.
  const FileTime later = std::chrono::system_clock::now() + std::chrono::minutes(1);
  EXPECT_EQ(RobotsCopyState(store_, "http://h/robots.txt", "p", later), kRobotsUnwritten);
  EXPECT_FALSE(MovedRobotsLocation(store_, "http://o/robots.txt", "p"));
}

}  // namespace
}  // namespace qlm
