// A patrol of a densely linked site served by a real nginx in its default configuration: each URL
// is asked for once, however many pages link to it (a missing one too), the counters count URLs,
// and a second patrol of the unchanged site is answered 304 for every stored file and rewrites
// nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "tests/crawl/PatrolHarness.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::PatrolCounters;

class PatrolOnceTest : public testing::Test {
 protected:
  PatrolOnceTest()
      : nginx_({"    access_log " + log_dir_.File("requests.log") + " combined;\n", ""}) {}

  void SetUp() override {
    ASSERT_TRUE(nginx_.Start()) << nginx_.Error();
    // Shared navigation: every page links to every page, the missing one and the logo, many
    // times over and with fragments.
    std::string nav;
    for (int i = 0; i < 20; ++i) {
      nav += "<a href=\"index.html#" + std::to_string(i) +
             "\">home</a>"
             "<a href=\"/a.html\">a</a><a href=\"b.html#top\">b</a>"
             "<a href=\"missing.html\">gone</a><img src=\"logo.jpg\">\n";
    }
    ASSERT_TRUE(nginx_.WriteFile("/index.html", "<html><head><title>I</title></head>" + nav));
    ASSERT_TRUE(nginx_.WriteFile("/a.html", "<html><head></head>a" + nav));
    ASSERT_TRUE(nginx_.WriteFile("/b.html", "<html><head></head>b" + nav));
    ASSERT_TRUE(nginx_.WriteFile("/logo.jpg", "JPEG"));
    // The server's dates lie in the past, so that a copy's own time never passes for one.
    for (const char* file : {"/index.html", "/a.html", "/b.html", "/logo.jpg"}) {
      const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, (nginx_.Root() + file).c_str(), times, 0), 0);
    }
    patrol_.Settings().SetStored(AppNumber::UseRobotsTxt, 0);
    patrol_.AddUrl(patrol_.Root(), nginx_.Url("/index.html")).SetOwn(ItemOption::GraphMax, 5);
  }

  // The request lines with their statuses, from the n-th on.
  std::vector<std::string> Requests(std::size_t from = 0) const {
    std::istringstream log(test::ReadFileBytes(log_dir_.File("requests.log")));
    std::vector<std::string> lines;
    // The combined format quotes the request line, then gives the status.
    for (std::string line; std::getline(log, line);) {
      const std::size_t open = line.find('"');
      const std::size_t close = line.find('"', open + 1);
      if (close == std::string::npos) continue;
      lines.push_back(line.substr(open + 1, close - open - 1) + " " + line.substr(close + 2, 3));
    }
    lines.erase(lines.begin(),
                lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())));
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  std::map<std::string, ino_t> Inodes() const {
    std::map<std::string, ino_t> inodes;
    for (const auto& [name, bytes] : patrol_.Tree()) {
      struct stat st {};
      if (::stat((patrol_.WorkFolder() + name).c_str(), &st) == 0) inodes[name] = st.st_ino;
    }
    return inodes;
  }

  test::TempDir log_dir_;
  test::NginxServer nginx_;
  test::PatrolHarness patrol_;
};

TEST_F(PatrolOnceTest, EachUrlIsAskedForOnceAndASecondPatrolIsAnsweredNotModified) {
  ASSERT_TRUE(patrol_.Run());
  // Five URLs, each once: the missing page fails once, not once per link to it.
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{5, 0, 4, 1, 3, 3}));
  const std::vector<std::string> first = Requests();
  EXPECT_EQ(first,
            (std::vector<std::string>{"GET /a.html HTTP/1.0 200", "GET /b.html HTTP/1.0 200",
                                      "GET /index.html HTTP/1.0 200", "GET /logo.jpg HTTP/1.0 200",
                                      "GET /missing.html HTTP/1.0 404"}));
  const auto tree = patrol_.Tree();
  const auto inodes = Inodes();

  // nginx answers 304 only to the date it sent, as sent (or to its ETag): to the pages, which were
  // rewritten since, and, in the third patrol, to copies that the second one confirmed.
  for (int again = 1; again <= 2; ++again) {
    const std::size_t before = Requests().size();
    ASSERT_TRUE(patrol_.Run());
    EXPECT_EQ(patrol_.Counters(), (PatrolCounters{5, 0, 4, 1, 3, 3}));
    EXPECT_EQ(Requests(before), (std::vector<std::string>{
                                    "GET /a.html HTTP/1.0 304", "GET /b.html HTTP/1.0 304",
                                    "GET /index.html HTTP/1.0 304", "GET /logo.jpg HTTP/1.0 304",
                                    "GET /missing.html HTTP/1.0 404"}))
        << "patrol " << again + 1;
    // Nothing was written again: the same files, with the same bytes.
    EXPECT_EQ(patrol_.Tree(), tree);
    EXPECT_EQ(Inodes(), inodes);
  }
}

}  // namespace
}  // namespace qlm
