// The files a page needs to look as it does: style sheets, scripts, responsive pictures, media and
// pictures named in CSS; how they are found, rewritten to local files, and named in the mirror.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "crawl/CssScanner.h"
#include "crawl/MirrorStore.h"
#include "crawl/PageLocalizer.h"
#include "crawl/PageScanner.h"
#include "crawl/StoredVariant.h"
#include "net/CHttpHeaders.h"
#include "net/CUrl.h"
#include "tests/crawl/MirrorTree.h"

namespace qlm {
namespace {

using test::PutFile;

std::vector<PageLink> ScanPage(std::string_view page, std::string_view url = "http://h/d/p.html") {
  PageScanner scanner;
  std::vector<PageLink> links;
  std::string title;
  scanner.ScanBytes(url, page, links, title);
  return links;
}

TEST(PageRequisitesTest, EachTagAndAttributeGivesItsLinkKind) {
  struct Case {
    std::string page;
    std::vector<PageLink> links;
  };
  const std::string d = "http://h/d/";
  const std::vector<Case> cases = {
      {"<link rel=stylesheet href=s.css>", {{kLinkStyleSheet, d + "s.css"}}},
      // REL after HREF, in any case, among other words.
      {"<LINK HREF='s.css' REL=\"Alternate StyleSheet\">", {{kLinkStyleSheet, d + "s.css"}}},
      {"<link rel=\"shortcut icon\" href=/f.ico><link rel=apple-touch-icon href=t.png>"
       "<link rel=preload href=p.woff2><link rel=modulepreload href=m.js>",
       {{kLinkHeadResource, "http://h/f.ico"},
        {kLinkHeadResource, d + "t.png"},
        {kLinkHeadResource, d + "p.woff2"},
        {kLinkHeadResource, d + "m.js"}}},
      {"<link rel=canonical href=c.html><link rel=alternate href=f.xml><link href=n.css>", {}},
      {"<script src=a.js></script>", {{kLinkScript, d + "a.js"}}},
      // A script's text is code: the markup in its strings gives no link.
      {"<script>var s = '<a href=\"x.html\">';</script><a href=y.html>",
       {{kLinkAnchor, d + "y.html"}}},
      {"<iframe src=f.html></iframe>", {{kLinkFrame, d + "f.html"}}},
      {"<img src=a.jpg srcset=\"a2.jpg 2x, a3.jpg 3x\">",
       {{kLinkImage, d + "a.jpg"}, {kLinkSrcset, d + "a2.jpg"}, {kLinkSrcset, d + "a3.jpg"}}},
      // A comma inside a URL stays; one right behind it separates; descriptors may be missing.
      {"<img srcset=\"s,1.jpg 100w,s2.jpg,  s3.jpg 1.5x\">",
       {{kLinkSrcset, d + "s,1.jpg"}, {kLinkSrcset, d + "s2.jpg"}, {kLinkSrcset, d + "s3.jpg"}}},
      {"<source srcset=\"p.webp 1x\" type=image/webp><source src=v.mp4>",
       {{kLinkSrcset, d + "p.webp"}, {kLinkMedia, d + "v.mp4"}}},
      {"<video src=v.mp4 poster=p.jpg><track src=t.vtt></video><audio src=a.mp3>",
       {{kLinkMedia, d + "v.mp4"},
        {kLinkMedia, d + "p.jpg"},
        {kLinkMedia, d + "t.vtt"},
        {kLinkMedia, d + "a.mp3"}}},
      {"<input type=IMAGE src=b.gif><input src=c.gif type=image><input src=n.gif type=text>"
       "<input src=n2.gif>",
       {{kLinkObject, d + "b.gif"}, {kLinkObject, d + "c.gif"}}},
      {"<embed src=e.swf><object data=o.svg></object>",
       {{kLinkObject, d + "e.swf"}, {kLinkObject, d + "o.svg"}}},
      {"<table background=t.gif><tr><td background=c.gif><th background=h.gif>",
       {{kLinkCellBackground, d + "t.gif"},
        {kLinkCellBackground, d + "c.gif"},
        {kLinkCellBackground, d + "h.gif"}}},
      {"<div style=\"background: url(bg.png)\"><p style='x:url(&quot;q.png&quot;)'>",
       {{kLinkStyleUrl, d + "bg.png"}, {kLinkStyleUrl, d + "q.png"}}},
      {"<a style=\"background:url(i.gif)\" href=a.html>",
       {{kLinkStyleUrl, d + "i.gif"}, {kLinkAnchor, d + "a.html"}}},
      {"<style>@import \"i.css\"; @import url(j.css) print; b{background:url( 'k.png' )}</style>",
       {{kLinkStyleSheet, d + "i.css"},
        {kLinkStyleSheet, d + "j.css"},
        {kLinkStyleUrl, d + "k.png"}}},
      // A "<" in a style sheet is no tag; the element ends at its end tag in any case.
      {"<STYLE>a<b{background:url(l.png)}</Style><a href=z.html>",
       {{kLinkStyleUrl, d + "l.png"}, {kLinkAnchor, d + "z.html"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(ScanPage(c.page), c.links) << c.page;
}

TEST(PageRequisitesTest, CssReferencesInEveryFormWithEscapesDecoded) {
  struct Case {
    std::string sheet;
    std::vector<std::pair<bool, std::string>> refs;  // import?, value
  };
  const std::vector<Case> cases = {
      {"a{background:url(a.png)}", {{false, "a.png"}}},
      {"a{background:url( \"b c.png\" )}", {{false, "b c.png"}}},
      {"a{background:URL('d.png')}", {{false, "d.png"}}},
      {"a{background:url(e\\(1\\).png)}", {{false, "e(1).png"}}},
      // A hex escape takes one blank after it; a quote escaped inside a string stays.
      {"a{background:url(\\66 .png)}", {{false, "f.png"}}},
      {"a{background:url(\"g\\\"h.png\")}", {{false, "g\"h.png"}}},
      {"a{background:url(\"li\\\nne.png\")}", {{false, "line.png"}}},
      {"a{background:url(\\e9t\\E9 .png)}", {{false, "\xc3\xa9t\xc3\xa9.png"}}},
      // Bad url()s and empty ones name nothing.
      {"a{background:url(bad name.png)} b{x:url(q\"r)} c{x:url()}", {}},
      {"@import 'x.css';", {{true, "x.css"}}},
      {"@import url(\"y.css\") screen;", {{true, "y.css"}}},
      {"@IMPORT/**/\"z.css\";", {{true, "z.css"}}},
      // Comments, strings and longer names hide what looks like a reference.
      {"@importx 'n.css'; /* url(c.png) */ a{content:\"url(s.png)\"} b{x:myurl(m.png)}", {}},
      {"@font-face{src:url(f.woff2) format('woff2'),url(f.woff)}",
       {{false, "f.woff2"}, {false, "f.woff"}}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<bool, std::string>> found;
    for (const CssReference& ref : FindCssReferences(c.sheet))
      found.emplace_back(ref.import, ref.value);
    EXPECT_EQ(found, c.refs) << c.sheet;
  }
}

class RequisiteRewriteTest : public testing::Test {
 protected:
  static constexpr const char* kPageUrl = "http://h/a/b/page.html";

  std::string Rewrite(const std::string& page) {
    return localizer_.Rewrite(kPageUrl, *store_.LocalPath(kPageUrl, "p"), "p", 1, page);
  }

  test::TempDir dir_;
  std::recursive_mutex lock_;
  MirrorStore store_{dir_.Path() + "/Mirror/", lock_, false};
  PageLocalizer localizer_{store_};
};

TEST_F(RequisiteRewriteTest, EveryKindPointsAtItsLocalFileAndReadsBackAsTheSameLinks) {
  struct Case {
    std::string page, rewritten;
  };
  const std::vector<Case> cases = {
      {"<link rel=stylesheet href=\"/a/c/s.css?v=1\">",
       "<link rel=stylesheet href=\"../c/s.css[3fv=1[3f.css\">"},
      {"<link href=/a/c/s.css rel=stylesheet>", "<link href=\"../c/s.css\" rel=stylesheet>"},
      {"<link rel=canonical href=/a/c/x.html>", "<link rel=canonical href=/a/c/x.html>"},
      {"<script src=\"/a/c/app.js?3\"></script>",
       "<script src=\"../c/app.js[3f3[3f.js\"></script>"},
      {"<script>w('<img src=\"/a/c/x.png\">')</script>",
       "<script>w('<img src=\"/a/c/x.png\">')</script>"},
      {"<iframe src=\"/a/c/f\"></iframe>", "<iframe src=\"../c/f[3f.html\"></iframe>"},
      {"<a href=\"search.html?q=x\"><a href=\"/a/about#r\"><a href=\"/a/about#r%23s\">",
       "<a href=\"search.html[3fq=x[3f.html\"><a href=\"../about[3f.html#r\">"
       "<a href=\"../about[3f.html#r%23s\">"},
      {"<img srcset=\"/a/c/x.png 1x, /a/c/x2.png 2x\" src=/a/c/x.png>",
       "<img srcset=\"../c/x.png 1x, ../c/x2.png 2x\" src=\"../c/x.png\">"},
      {"<source srcset='/a/c/w.webp 480w,http://o/v.webp' src=/a/c/v.mp4>",
       "<source srcset=\"../c/w.webp 480w,../../../o/v.webp\" src=\"../c/v.mp4\">"},
      {"<video poster=/a/c/p.jpg><track src=/a/t.vtt>",
       "<video poster=\"../c/p.jpg\"><track src=\"../t.vtt\">"},
      {"<input type=image src=/a/c/b.gif><embed src=/a/e.swf><object data=/a/o.svg>",
       "<input type=image src=\"../c/b.gif\"><embed src=\"../e.swf\"><object data=\"../o.svg\">"},
      {"<td background=/a/c/t.gif>", "<td background=\"../c/t.gif\">"},
      {"<div style=\"background:url('/a/c/x.png')\">",
       "<div style=\"background:url(&quot;../c/x.png&quot;)\">"},
      {"<style>@import \"/a/c/i.css\"; p{background:url(/a/c/x.png)}</style>",
       "<style>@import \"../c/i.css\"; p{background:url(\"../c/x.png\")}</style>"},
  };
  for (const Case& c : cases) {
    const std::string rewritten = Rewrite(c.page);
    EXPECT_EQ(rewritten, std::string(PageScanner::kVersionElement) + c.rewritten) << c.page;
    // A rewritten page names the same URLs as the page it was made from.
    EXPECT_EQ(ScanPage(rewritten, kPageUrl), ScanPage(c.page, kPageUrl)) << c.page;
  }
}

TEST_F(RequisiteRewriteTest, AStyleSheetIsRewrittenOnceAndReadsBackAsTheSameLinks) {
  const std::string sheet_url = "http://h/a/b/s.css?v=2";
  const std::string location = *store_.LocalPath(sheet_url, "p");
  const std::string sheet =
      "@charset \"utf-8\";\n@import 'i.css?x';\nb{background:url(/a/c/x.png)}\n"
      "i{background:url(data:image/gif;base64,R0lG)}";
  const std::string rewritten = localizer_.RewriteStyleSheet(sheet_url, location, "p", 1, sheet);
  EXPECT_EQ(
      rewritten,
      "@charset \"utf-8\";\n@import \"i.css[3fx[3f.css\";\nb{background:url(\"../c/x.png\")}\n"
      "i{background:url(data:image/gif;base64,R0lG)}" +
          std::string(PageScanner::kStyleSheetVersionLine));
  EXPECT_EQ(localizer_.RewriteStyleSheet(sheet_url, location, "p", 1, rewritten), rewritten);

  PageScanner scanner;
  std::vector<PageLink> before, after;
  scanner.ScanStyleSheet(sheet_url, sheet, before);
  scanner.ScanStyleSheet(sheet_url, rewritten, after);
  EXPECT_EQ(before, (std::vector<PageLink>{{kLinkStyleImport, "http://h/a/b/i.css?x"},
                                           {kLinkStyleUrl, "http://h/a/c/x.png"}}));
  EXPECT_EQ(after, before);
}

TEST(StoredVariantTest, PagesStyleSheetsAndScriptsGetANameABrowserOpens) {
  struct Case {
    std::string url;
    int media_type;
    std::string subtype;
    std::string suffix;  // what the reply is stored under
  };
  const std::vector<Case> cases = {
      {"http://h/a.html", kMediaText, "HTML", ""},
      {"http://h/d/", kMediaText, "HTML", ""},
      {"http://h/search.html?q=x", kMediaText, "HTML", "[3f.html"},
      {"http://h/list.htm?p=2.htm", kMediaText, "HTML", ""},
      {"http://h/about", kMediaText, "HTML", "[3f.html"},
      {"http://h/about", kMediaUnknown, "", "[3f.html"},
      {"http://h/theme?v=2", kMediaText, "CSS", "[3f.css"},
      {"http://h/boot", kMediaApplication, "JAVASCRIPT", "[3f.js"},
      {"http://h/avatar", kMediaImage, "PNG", ""},
      {"http://h/s.css?2022.1", kMediaText, "CSS", "[3f.css"},
      {"http://h/s.css", kMediaText, "CSS", ""},
      {"http://h/a.js?v=3", kMediaText, "PLAIN", "[3f.js"},
      {"http://h/m.mjs", kMediaText, "JAVASCRIPT", ""},
      {"http://h/p.png?v=3", kMediaImage, "PNG", ""},
  };
  for (const Case& c : cases) {
    CUrl url;
    ASSERT_TRUE(url.Parse(c.url)) << c.url;
    EXPECT_EQ(BrowserVariantFor(url, c.media_type, c.subtype), c.suffix) << c.url;
  }
}

TEST(StoredVariantTest, CopiesUnderEarlierNamesAreFoundAndGoWhenTheVariantIsStored) {
  test::TempDir dir;
  std::recursive_mutex lock;
  MirrorStore store(dir.Path() + "/Mirror/", lock, false);
  const std::string url = "http://h/about";
  const std::string bare = *store.LocalPath(url, "p");
  // An earlier patrol stored the page under its bare name.
  PutFile(bare, "old");
  LocalCopy copy = store.FindLocalCopy(url, "p");
  ASSERT_TRUE(copy.Exists());
  EXPECT_EQ(copy.file, bare);
  EXPECT_EQ(copy.suffix, "");

  const std::string fetched = dir.Path() + "/fetched";
  PutFile(fetched, "new");
  ASSERT_EQ(store.StoreFile(fetched, url, "p", kHtmlVariant), MirrorStore::kStoreOk);
  copy = store.FindLocalCopy(url, "p");
  EXPECT_EQ(copy.file, bare + "[3f.html");
  EXPECT_EQ(copy.suffix, "[3f.html");
  EXPECT_FALSE(std::filesystem::exists(bare));

  // A folder of the bare name (http://h/about/x.html) is left alone.
  PutFile(bare + "/x.html", "x");
  PutFile(fetched, "newer");
  ASSERT_EQ(store.StoreFile(fetched, url, "p", kHtmlVariant), MirrorStore::kStoreOk);
  EXPECT_TRUE(std::filesystem::exists(bare + "/x.html"));
  EXPECT_EQ(test::ReadFileBytes(bare + "[3f.html"), "newer");

  // A redirect page from such a URL is a page too.
  ASSERT_EQ(store.WriteRedirectPage("http://h/moved", "p", "http://h/new.html", false),
            MirrorStore::kStoreOk);
  EXPECT_EQ(store.FindLocalCopy("http://h/moved", "p").suffix, "[3f.html");
}

}  // namespace
}  // namespace qlm
