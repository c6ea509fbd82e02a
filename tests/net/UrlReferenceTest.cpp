// References resolved against a base: the examples of RFC 3986 section 5.4, and the links and
// redirect targets that pages and servers write.
#include <gtest/gtest.h>

#include <string>

#include "net/CUrl.h"
#include "net/UrlReference.h"

namespace qlm {
namespace {

struct Case {
  const char* reference;
  const char* target;
};

TEST(UrlReference, ResolvesTheExamplesOfRfc3986) {
  const char* base = "http://a/b/c/d;p?q";
  const Case cases[] = {
      // Normal examples (5.4.1).
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      // Abnormal examples (5.4.2).
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveUrlReference(base, c.reference), c.target) << c.reference;
  }
}

// What servers send as LOCATION and pages as links, resolved and then parsed as the crawler does.
TEST(UrlReference, ResolvesLocationsAndLinksIntoUrlsThatParse) {
  const char* base = "http://site:8080/dir/a.html?old=1#top";
  const Case cases[] = {
      {"//host:81/dir/c.html", "http://host:81/dir/c.html"},
      {"?page=2", "http://site:8080/dir/a.html?page=2"},
      {"b.html", "http://site:8080/dir/b.html"},
      {"/root.html", "http://site:8080/root.html"},
      {"../../../../evilhost.invalid/x.html", "http://site:8080/evilhost.invalid/x.html"},
      {"../../target.html", "http://site:8080/target.html"},
      {"http://other/x.jpg", "http://other/x.jpg"},
      {"sub/", "http://site:8080/dir/sub/"},
  };
  for (const Case& c : cases) {
    CUrl url;
    ASSERT_TRUE(url.Parse(ResolveUrlReference(base, c.reference))) << c.reference;
    EXPECT_EQ(url.Text(), c.target) << c.reference;
  }
  // A base without a path: a relative path goes below its root.
  EXPECT_EQ(ResolveUrlReference("http://h", "g"), "http://h/g");
  EXPECT_EQ(ResolveUrlReference("file:///c:/m/h/p.html", "../q.html"), "file:///c:/m/q.html");
}

}  // namespace
}  // namespace qlm
