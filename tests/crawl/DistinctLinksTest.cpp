// A page scanned with DistinctLinks yields each of its links once, however often it repeats them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/DistinctLinks.h"
#include "crawl/PageScanner.h"

namespace qlm {
namespace {

std::vector<std::string> Distinct(const std::string& page) {
  PageScanner scanner;
  DistinctLinks distinct;
  scanner.SetDistinct(&distinct);
  std::vector<PageLink> links;
  std::string title;
  scanner.ScanBytes("http://h/d/page.html", page, links, title);
  std::vector<std::string> found;
  for (const PageLink& link : links) found.push_back(std::to_string(link.kind) + " " + link.url);
  return found;
}

TEST(DistinctLinksTest, EachLinkOfAPageComesOnceInThePlaceFirstMetAsWrittenLast) {
  const struct {
    std::string page;
    std::vector<std::string> links;
  } cases[] = {
      {R"(<a href="a.html">1</a><a href="a.html">2</a><a href='a.html'>3</a>)",
       {"1 http://h/d/a.html"}},
      // Written otherwise, the same URL; a fragment names a place in it.
      {R"(<a href="a.html"><a href="/d/a.html"><a href="a.html#x"><a href="./a.html#y">)",
       {"1 http://h/d/a.html#y"}},
      // Another kind of link to the same URL is another link.
      {R"(<a href="p.jpg"><img src="p.jpg"><a href="p.jpg"><img src="p.jpg">)",
       {"1 http://h/d/p.jpg", "7 http://h/d/p.jpg"}},
      // After a BASE the same value names another URL.
      {R"(<a href="x.html"><base href="http://h/other/"><a href="x.html"><a href="x.html">)",
       {"1 http://h/d/x.html", "1 http://h/other/x.html"}},
      {R"(<a href="b.html"><a href="a.html"><a href="b.html"><a href="c.html">)",
       {"1 http://h/d/b.html", "1 http://h/d/a.html", "1 http://h/d/c.html"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Distinct(c.page), c.links) << c.page;
}

TEST(DistinctLinksTest, APageOfCountlessFragmentsKeepsOneLinkPerUrl) {
  std::string page;
  for (int i = 0; i < 3 * static_cast<int>(DistinctLinks::kMaxValues); ++i) {
    page += "<a href=\"t" + std::to_string(i % 3) + ".html#" + std::to_string(i) + "\">";
  }
  EXPECT_EQ(Distinct(page),
            (std::vector<std::string>{"1 http://h/d/t0.html#196605", "1 http://h/d/t1.html#196606",
                                      "1 http://h/d/t2.html#196607"}));
}

}  // namespace
}  // namespace qlm
