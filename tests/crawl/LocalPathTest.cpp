#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "crawl/LocalPath.h"

namespace qlm {
namespace {

using namespace std::string_literals;

const std::string kRoot = "/m/";

struct NameCase {
  std::string url;
  std::string folder;
  std::string local;  // empty: no local name
};

TEST(LocalPathTest, MapsUrlsToTheirLocalNamesByteForByte) {
  const std::vector<NameCase> cases = {
      {"http://h/", "proj", "/m/proj/h/index.html"},
      {"http://h", "proj", "/m/proj/h/index.html"},
      {"http://h/a/", "proj", "/m/proj/h/a/index.html"},
      {"http://h/a/b/c.html", "proj/sub", "/m/proj/sub/h/a/b/c.html"},
      {"http://h/a/b.cgi?x=1", "proj", "/m/proj/h/a/b.cgi[3fx=1"},
      {"http://h/a.cgi?", "proj", "/m/proj/h/a.cgi[3f"},
      {"http://h:8080/p.html", "proj", "/m/proj/h/p.html"},
      {"http://h/p.html", "proj", "/m/proj/h/p.html"},
      {"http://h/%7e/x", "proj", "/m/proj/h/[7e/x"},
      {"http://h/a:b;c,d*e", "proj", "/m/proj/h/a[3ab[3bc[2cd[2ae"},
      {"http://h/sp ace", "proj", "/m/proj/h/sp[20ace"},
      {"http://h/q?a/b", "proj", "/m/proj/h/q[3fa[2fb"},
      {"http://h/x?a#b", "proj", "/m/proj/h/x[3fa#b"},
      {"http://h/frag.html#top", "proj", "/m/proj/h/frag.html"},
      {"http://h/a/..", "proj", "/m/proj/h/index.html"},
      {"http://Host.Example/A.HTML", "proj", "/m/proj/Host.Example/A.HTML"},
      {"file://h/x/y.txt", "proj", "/m/proj/h/x/y.txt"},
      // Titles are escaped like the rest of the name.
      {"http://h/", "p:q/a%b", "/m/p[3aq/a[b/h/index.html"},
      // No local name: no host, another scheme, not a URL.
      {"file:///c:/x", "proj", ""},
      {"http:///x", "proj", ""},
      {"mailto:a@h", "proj", ""},
      {"not a url", "proj", ""},
  };
  for (const NameCase& c : cases) {
    const std::optional<std::string> local = LocalPath(kRoot, c.url, c.folder);
    if (c.local.empty()) {
      EXPECT_FALSE(local) << c.url << " gave " << local.value_or("");
    } else {
      EXPECT_EQ(local.value_or("<none>"), c.local) << c.url;
    }
  }
}

TEST(LocalPathTest, MirrorRootIsUsedAsGivenWithASlashAdded) {
  EXPECT_EQ(LocalPath("/m", "http://h/x", "p"), "/m/p/h/x");
  // Characters that the escaping rewrites stay untouched in the root: it names an existing folder.
  EXPECT_EQ(LocalPath("/home/a,b:c/Mirror/", "http://h/x", "p"), "/home/a,b:c/Mirror/p/h/x");
}

TEST(LocalPathTest, EscapesSpecialBytesButKeepsShiftJisPairs) {
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"a%b", "a[b"},
      {"\"*,:;<>?|", "[22[2a[2c[3a[3b[3c[3e[3f[7c"},
      {"back\\slash", "back[5cslash"},
      {"nul\0tab\tdel\x7f"s, "nul[00tab[09del[7f"},
      // A Shift_JIS pair passes whole, also when its trail byte is "\" or "|".
      {"\x95\x5c\x81\x7c", "\x95\x5c\x81\x7c"},
      // A lead byte without a trail byte cannot swallow what follows.
      {"\x81/..", "\x81/[2e[2e"},
      {"\x81%", "\x81["},
      {"\x81\0"s, "\x81[00"},
      {"./../.../a..b", "[2e/[2e[2e/.../a..b"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeLocalName(c.in), c.out) << c.in;
}

TEST(LocalPathTest, EscapingRandomBytesFollowsTheRulesByteForByte) {
  // The rules, one byte at a time.
  const auto rules = [](const std::string& name) {
    std::string out, component;
    const auto end_component = [&] {
      out += component == "." ? "[2e" : component == ".." ? "[2e[2e" : component;
      component.clear();
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
      const auto b = static_cast<unsigned char>(name[i]);
      const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
      const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
      const bool trail = i + 1 < name.size() && next >= 0x40 && next <= 0xFC && next != 0x7F;
      char hex[4];
      std::snprintf(hex, sizeof hex, "[%02x", b);
      if (lead && trail) {
        component += name.substr(i++, 2);
      } else if (b == '/') {
        end_component();
        out += '/';
      } else if (b == '%') {
        component += '[';
      } else if (b < 0x20 || b == 0x7F ||
                 std::string_view("\"*,:;<>?|\\").find(static_cast<char>(b)) !=
                     std::string_view::npos) {
        component += hex;
      } else {
        component += static_cast<char>(b);
      }
    }
    end_component();
    return out;
  };
  std::mt19937 random(99);
  const std::string pieces[] = {"/",    ".",  "..",   "%",          "a",        "bc",       "?",
                                ":",    "\\", "|",    "\x81",       "\x95\x5c", "\xe0\x7c", "\xf0",
                                "\x7f", " ",  "\x01", "index.html", "\x81/"};
  for (int n = 0; n < 5000; ++n) {
    std::string name;
    const int count = static_cast<int>(random() % 12);
    for (int k = 0; k < count; ++k) name += pieces[random() % std::size(pieces)];
    if (random() % 7 == 0) name += std::string(1, '\0');
    ASSERT_EQ(EscapeLocalName(name), rules(name)) << name;
    std::string appended = "/root/";
    AppendLocalName(appended, name);
    ASSERT_EQ(appended, "/root/" + rules(name)) << name;
  }
}

// True when `local` names a file strictly below `root` whatever the file system does with it:
// no component after the root is "." or "..", and no NUL cuts the name short.
bool StaysUnder(const std::string& root, const std::string& local) {
  if (!local.starts_with(root) || local.size() == root.size()) return false;
  if (local.find('\0') != std::string::npos) return false;
  std::size_t start = root.size();
  while (start <= local.size()) {
    std::size_t end = local.find('/', start);
    if (end == std::string::npos) end = local.size();
    const std::string component = local.substr(start, end - start);
    if (component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

TEST(LocalPathTest, HostileUrlsAndFolderPathsNeverLeaveTheMirrorRoot) {
  const std::vector<std::string> urls = {
      "http://h/../../etc/passwd",
      "http://h/a/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
      "http://h/%2E%2E/x",
      "http://h/a/%252e%252e/%252e%252e/x",
      "http://h//etc/passwd",
      "http://h/a%00b/../../x",
      "http://h/..%5c..%5cwin.ini",
      "http://h/a\\..\\..\\x",
      "http://h/\x81/../../x",
      "http://h/%81%2f%2e%2e%2f%2e%2e",
      "http://h/x?../../../etc",
      "http://h/x?%2e%2e%2f%2e%2e",
      "http://../x",
      "http://./x",
      "http://h/.",
      "http://h/./",
      "file://h/../../../etc/passwd",
      "file://h/%2e%2e/x",
  };
  const std::vector<std::string> folders = {
      "proj",        "..",        "../..",   "proj/../../x", "/abs/path", "proj/.",
      "a\0b/../.."s, "a\\..\\..", "\x81/..", "\x81\\..",     ".",         "",
  };
  for (const std::string& url : urls) {
    for (const std::string& folder : folders) {
      const std::optional<std::string> local = LocalPath(kRoot, url, folder);
      if (local) {
        EXPECT_TRUE(StaysUnder(kRoot, *local)) << url << " in " << folder << " -> " << *local;
      }
    }
  }
}

TEST(LocalPathTest, RandomUrlsBuiltFromDangerousPiecesStayUnderTheRoot) {
  const std::vector<std::string> pieces = {"..", "/",   ".",    "%2e",   "%2E", "%00", "%2f",
                                           "\\", "%5c", "\x81", "\xe0",  "?",   "#",   ":",
                                           "%",  "[",   "a",    "b.cgi", "%25", " ",   "\0"s};
  std::mt19937 random(20240611);
  for (int i = 0; i < 20000; ++i) {
    std::string url = "http://h/";
    std::string folder;
    const int n = static_cast<int>(random() % 12);
    for (int k = 0; k < n; ++k) url += pieces[random() % pieces.size()];
    const int m = static_cast<int>(random() % 6);
    for (int k = 0; k < m; ++k) folder += pieces[random() % pieces.size()];
    const std::optional<std::string> local = LocalPath(kRoot, url, folder);
    if (local) {
      ASSERT_TRUE(StaysUnder(kRoot, *local)) << url << " in " << folder << " -> " << *local;
      ASSERT_TRUE(LocalNameFits(*local));
    }
  }
}

TEST(LocalPathTest, NameTooLongOnlyWhereLinuxCannotHoldIt) {
  const std::string name255(255 - 5, 'n');  // with ".html": 255 bytes
  EXPECT_TRUE(LocalPath(kRoot, "http://h/" + name255 + ".html", "p"));
  EXPECT_FALSE(LocalPath(kRoot, "http://h/" + name255 + "x.html", "p"));

  // A cgi URL needs room for its longest stored variant, "[3f.others".
  const std::string cgi = std::string(255 - 4 - 10, 'c') + ".cgi";
  EXPECT_TRUE(LocalPath(kRoot, "http://h/" + cgi, "p"));
  EXPECT_FALSE(LocalPath(kRoot, "http://h/c" + cgi, "p"));

  // The whole path: at most 4095 bytes. "/m/p/h/" is 7 bytes, each "/" + 199 bytes adds 200.
  std::string deep;
  for (int i = 0; i < 20; ++i) deep += "/" + std::string(199, 'd');
  const std::string base = "http://h" + deep;  // local name so far: 7 + 4000 - 1 bytes
  const std::string fill(4095 - 4006 - 1, 'f');
  EXPECT_EQ(LocalPath(kRoot, base + "/" + fill, "p").value_or("").size(), 4095u);
  EXPECT_FALSE(LocalPath(kRoot, base + "/" + fill + "f", "p"));
  // A cgi URL's longest variant counts in the whole path too.
  const std::string cgi_fill = fill.substr(0, fill.size() - 10 - 4) + ".cgi";
  EXPECT_EQ(LocalPath(kRoot, base + "/" + cgi_fill, "p").value_or("").size(), 4095u - 10);
  EXPECT_FALSE(LocalPath(kRoot, base + "/f" + cgi_fill, "p"));
  // 260 characters, the old limit, are nothing special.
  EXPECT_TRUE(
      LocalPath(kRoot, "http://h/" + std::string(200, 'a') + "/" + std::string(100, 'b'), "p"));
}

TEST(LocalPathTest, RelativePathClimbsOutOfTheFolderOfThePage) {
  struct Case {
    std::string from, to, result;
  };
  const std::vector<Case> cases = {
      {"/m/p/site/a/b/page.html", "/m/p/site/a/c/x.gif", "../c/x.gif"},
      {"/m/p/site/a/page.html", "/m/p/site/a/x.gif", "x.gif"},
      {"/m/p/site/a/page.html", "/m/p/site/a/page.html#top", "page.html#top"},
      {"/m/p/site/page.html", "/m/p/site/a/b/x.gif", "a/b/x.gif"},
      {"/m/p/h1/a/b.html", "/m/p/h2/p.html", "../../h2/p.html"},
      // The common beginning ends at a "/": "ab" and "ac" share only "/m/p/site/".
      {"/m/p/site/ab/x.html", "/m/p/site/ac/y.html", "../ac/y.html"},
      // Empty folder names stay a relative path, neither a root nor a host.
      {"/m/p/site/d/p.html", "/m/p/site/d///index.html", ".///index.html"},
      {"/m/p/site/d/e/p.html", "/m/p/site/d///index.html", "..///index.html"},
  };
  for (const Case& c : cases) EXPECT_EQ(RelativePath(c.from, c.to), c.result) << c.to;
  EXPECT_FALSE(RelativePath("a.html", "b.html"));
}

}  // namespace
}  // namespace qlm
