#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "crawl/MirrorStore.h"
#include "net/CUrl.h"
#include "tests/crawl/MirrorTree.h"

namespace qlm {
namespace {

using test::PutFile;
using test::ReadFileBytes;
using test::TreeOf;

class MirrorStoreTest : public testing::Test {
 protected:
  std::string Root() const { return dir_.Path() + "/Mirror/"; }
  std::string Temp(const std::string& bytes) {
    const std::string path = dir_.File("tmp0.dat");
    test::WriteFileBytes(path, bytes);
    return path;
  }

  test::TempDir dir_;
  std::recursive_mutex lock_;
  MirrorStore store_{dir_.Path() + "/Mirror", lock_};
};

TEST_F(MirrorStoreTest, NamesTheWorkFolderAndItsListFilesAfterTheProject) {
  EXPECT_EQ(store_.MirrorRoot(), Root());
  EXPECT_EQ(store_.WorkFolder("proj"), Root() + "proj/");
  EXPECT_EQ(store_.WorkFile("proj", ".det"), Root() + "proj/proj.det");
}

TEST_F(MirrorStoreTest, StoresAFileByMovingItUnderItsLocalNameAndHandsBackTheOldCopy) {
  const std::string temp = Temp("body");
  std::string stored;
  bool left = true;
  EXPECT_EQ(store_.StoreFile(temp, "http://h:81/a/b/c.html", "proj", {}, &stored, &left),
            MirrorStore::kStoreOk);
  EXPECT_EQ(stored, Root() + "proj/h/a/b/c.html");
  EXPECT_FALSE(IsRegularFile(temp));
  EXPECT_FALSE(left);
  EXPECT_EQ(store_.StoreFile(Temp("index"), "http://h/", "proj"), MirrorStore::kStoreOk);
  EXPECT_EQ(TreeOf(Root()), (std::map<std::string, std::string>{{"proj/", ""},
                                                                {"proj/h/", ""},
                                                                {"proj/h/a/", ""},
                                                                {"proj/h/a/b/", ""},
                                                                {"proj/h/a/b/c.html", "body"},
                                                                {"proj/h/index.html", "index"}}));
  // Storing over a copy swaps the two: the old copy is left where the new file came from.
  EXPECT_EQ(store_.StoreFile(Temp("new index"), "http://h/", "proj", {}, nullptr, &left),
            MirrorStore::kStoreOk);
  EXPECT_EQ(ReadFileBytes(Root() + "proj/h/index.html"), "new index");
  EXPECT_EQ(ReadFileBytes(temp), "index");
  EXPECT_TRUE(left);
  // A file that cannot be stored stays where it is.
  left = false;
  EXPECT_NE(store_.StoreFile(temp, "http://h/a/b/c.html/x", "proj", {}, nullptr, &left),
            MirrorStore::kStoreOk);
  EXPECT_TRUE(left);
}

TEST_F(MirrorStoreTest, PagesAreWrittenThroughTheStagingFileAndAFolderIsNeverSwappedOut) {
  ASSERT_EQ(MakeParentFolders(Root() + "proj/"), 0);  // the project's work folder
  MirrorStore staged(Root(), lock_, true, Root() + "proj");
  ASSERT_EQ(staged.WriteRedirectPage("http://h/old.html", "proj", "http://h/new.html", false),
            MirrorStore::kStoreOk);
  ASSERT_EQ(staged.ReplaceWithBytes(Root() + "proj/h/old.html", "rewritten"),
            MirrorStore::kStoreOk);
  EXPECT_EQ(staged.StagingFile(), Root() + "proj/.qlm?staging");
  EXPECT_EQ(TreeOf(Root() + "proj"),
            (std::map<std::string, std::string>{
                {".qlm?staging", MirrorStore::RedirectPage("http://h/new.html")},
                {"h/", ""},
                {"h/old.html", "rewritten"}}));
  // The staging file now holds the longer redirect page; written again, it holds no byte of it.
  ASSERT_EQ(staged.ReplaceWithBytes(Root() + "proj/h/old.html", "new"), MirrorStore::kStoreOk);
  EXPECT_EQ(ReadFileBytes(Root() + "proj/h/old.html"), "new");
  EXPECT_EQ(ReadFileBytes(Root() + "proj/.qlm?staging"), "rewritten");
  // A folder under the name stays a folder: the write fails and the folder keeps its files.
  PutFile(Root() + "proj/h/dir.html/x", "x");
  EXPECT_EQ(staged.ReplaceWithBytes(Root() + "proj/h/dir.html", "page"), MirrorStore::kWriteFailed);
  EXPECT_EQ(staged.ReplaceWithBytes(Root() + "proj/h/dir.html", "page", true),
            MirrorStore::kWriteFailed);
  EXPECT_EQ(store_.StoreFile(Temp("page"), "http://h/dir.html", "proj"), MirrorStore::kWriteFailed);
  EXPECT_EQ(ReadFileBytes(Root() + "proj/h/dir.html/x"), "x");
  // A page known to be there is swapped out at once; one that is gone after all is written anew.
  ASSERT_EQ(staged.ReplaceWithBytes(Root() + "proj/h/old.html", "newer", true),
            MirrorStore::kStoreOk);
  EXPECT_EQ(ReadFileBytes(Root() + "proj/h/old.html"), "newer");
  EXPECT_EQ(ReadFileBytes(Root() + "proj/.qlm?staging"), "new");
  ASSERT_EQ(staged.ReplaceWithBytes(Root() + "proj/h/gone/page.html", "page", true),
            MirrorStore::kStoreOk);
  EXPECT_EQ(ReadFileBytes(Root() + "proj/h/gone/page.html"), "page");
  // What a killed patrol leaves in the work folder goes at the next start; nothing else does.
  PutFile(Root() + "proj/tmp3.dat", "body");
  PutFile(Root() + "proj/tmp.dat", "not ours");
  RemoveTemporaryFiles(Root() + "proj/");
  EXPECT_EQ(TreeOf(Root() + "proj"),
            (std::map<std::string, std::string>{{"h/", ""},
                                                {"h/dir.html/", ""},
                                                {"h/dir.html/x", "x"},
                                                {"h/gone/", ""},
                                                {"h/gone/page.html", "page"},
                                                {"h/old.html", "newer"},
                                                {"tmp.dat", "not ours"}}));
}

TEST_F(MirrorStoreTest, AFailedStoreKeepsTheOldFileAndSaysWhy) {
  ASSERT_EQ(store_.StoreFile(Temp("old"), "http://h/x.html", "p"), MirrorStore::kStoreOk);
  EXPECT_EQ(store_.StoreFile(dir_.File("missing.dat"), "http://h/x.html", "p"),
            MirrorStore::kSourceFailed);
  // http://h/x.html is a file, so nothing can be stored below a folder of that name.
  EXPECT_EQ(store_.StoreFile(Temp("new"), "http://h/x.html/y.html", "p"),
            MirrorStore::kFolderFailed);
  EXPECT_EQ(store_.StoreFile(Temp("new"), "mailto:a@h", "p"), MirrorStore::kNoLocalName);
  EXPECT_EQ(TreeOf(Root() + "p/h"), (std::map<std::string, std::string>{{"x.html", "old"}}));
}

TEST_F(MirrorStoreTest, CgiOutputIsStoredAndFoundAsItsVariant) {
  const std::string cgi = "http://h/a/b.cgi?x=1";
  EXPECT_FALSE(store_.FindLocalCopy(cgi, "p").Exists());
  ASSERT_EQ(store_.StoreFile(Temp("<html>"), cgi, "p", "[3f.html"), MirrorStore::kStoreOk);
  LocalCopy copy = store_.FindLocalCopy(cgi, "p");
  EXPECT_EQ(copy.cls, LocalCopy::kStored);
  EXPECT_EQ(copy.suffix, "[3f.html");
  EXPECT_EQ(copy.file, Root() + "p/h/a/b.cgi[3fx=1[3f.html");

  // The same URL answering with a picture later: the page variant goes, so it cannot shadow it.
  ASSERT_EQ(store_.StoreFile(Temp("JFIF"), cgi, "p", "[3f.jpg"), MirrorStore::kStoreOk);
  EXPECT_EQ(store_.FindLocalCopy(cgi, "p").suffix, "[3f.jpg");
  EXPECT_EQ(TreeOf(Root() + "p/h/a"),
            (std::map<std::string, std::string>{{"b.cgi[3fx=1[3f.jpg", "JFIF"}}));

  // Stored plainly first and then moved to its variant, as the download manager may do.
  ASSERT_EQ(store_.StoreFile(Temp("GIF8"), "http://h/c.cgi", "p"), MirrorStore::kStoreOk);
  EXPECT_FALSE(store_.FindLocalCopy("http://h/c.cgi", "p").Exists());
  ASSERT_EQ(store_.MoveToVariant("http://h/c.cgi", "p", "[3f.gif"), MirrorStore::kStoreOk);
  EXPECT_EQ(store_.FindLocalCopy("http://h/c.cgi", "p").file, Root() + "p/h/c.cgi[3f.gif");
  EXPECT_EQ(store_.MoveToVariant("http://h/none.cgi", "p", "[3f.gif"), MirrorStore::kSourceFailed);
}

TEST_F(MirrorStoreTest, VariantsAreLookedUpInTheirFixedOrder) {
  for (const char* variant : {"[3f.others", "[3f.gif", "[3f.jpg"}) {
    PutFile(Root() + "p/h/v.cgi" + variant, variant);
  }
  EXPECT_EQ(store_.FindLocalCopy("http://h/v.cgi", "p").suffix, "[3f.jpg");
  // A plain file under a cgi URL's own name is no copy; a folder under a page's name neither.
  PutFile(Root() + "p/h/w.cgi", "plain");
  EXPECT_FALSE(store_.FindLocalCopy("http://h/w.cgi", "p").Exists());
  PutFile(Root() + "p/h/dir.html/x", "x");
  EXPECT_FALSE(store_.FindLocalCopy("http://h/dir.html", "p").Exists());
}

TEST_F(MirrorStoreTest, WrittenSinceIsStrictlyAfterTheGivenTime) {
  ASSERT_EQ(store_.StoreFile(Temp("x"), "http://h/x.html", "p"), MirrorStore::kStoreOk);
  const std::string file = Root() + "p/h/x.html";
  const FileTime written = std::chrono::system_clock::now() - std::chrono::hours(1);
  test::SetWriteTime(file, written);
  EXPECT_TRUE(store_.WrittenSince("http://h/x.html", "p", written - std::chrono::seconds(1)));
  EXPECT_FALSE(store_.WrittenSince("http://h/x.html", "p", written));
  EXPECT_FALSE(store_.WrittenSince("http://h/other.html", "p", written - std::chrono::hours(1)));

  ASSERT_EQ(store_.StoreFile(Temp("y"), "http://h/y.cgi", "p", "[3f.html"), MirrorStore::kStoreOk);
  const std::optional<LocalCopy> fresh = store_.WrittenSince("http://h/y.cgi", "p", written);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->suffix, "[3f.html");
}

TEST_F(MirrorStoreTest, AStoreThatRemembersItsWritesAnswersAsTheFileSystemDoes) {
  ASSERT_EQ(MakeParentFolders(Root() + "p/"), 0);
  MirrorStore remembering(Root(), lock_, true, Root() + "p");
  remembering.RememberWrites();
  PutFile(Root() + "p/h/old.html", "from an earlier patrol");
  PutFile(Root() + "p/h/v.cgi[3f.gif", "an earlier variant");
  const std::vector<std::string> urls = {"http://h/old.html",   "http://h/a.html",
                                         "http://h/v.cgi",      "http://h/w.cgi",
                                         "http://h/robots.txt", "http://h/none"};
  const auto same_answers = [&](const std::string& step) {
    for (const std::string& url : urls) {
      const LocalCopy a = remembering.FindLocalCopy(url, "p");
      const LocalCopy b = store_.FindLocalCopy(url, "p");
      EXPECT_EQ(a.cls, b.cls) << step << ": " << url;
      EXPECT_EQ(a.suffix, b.suffix) << step << ": " << url;
      EXPECT_EQ(a.file, b.file) << step << ": " << url;
      EXPECT_EQ(a.written, b.written) << step << ": " << url;
    }
    const std::string robots = Root() + "p/h/robots.txt";
    const FileTime long_ago = std::chrono::system_clock::now() - std::chrono::hours(1);
    // What it remembers writing is there, written when it says.
    for (const std::string& url : urls) {
      CUrl parsed;
      ASSERT_TRUE(parsed.Parse(url));
      if (!remembering.RemembersWritingSince(parsed, "p", long_ago)) continue;
      const LocalCopy copy = store_.FindLocalCopy(url, "p");
      EXPECT_TRUE(copy.Exists() && copy.written > long_ago) << step << ": " << url;
    }
    EXPECT_EQ(remembering.FileWrittenSince(robots, long_ago),
              store_.FileWrittenSince(robots, long_ago))
        << step;
  };
  same_answers("start");
  const auto remembers = [&](const std::string& url, FileTime since) {
    CUrl parsed;
    return parsed.Parse(url) && remembering.RemembersWritingSince(parsed, "p", since);
  };
  const FileTime before = std::chrono::system_clock::now() - std::chrono::seconds(10);
  ASSERT_EQ(remembering.StoreFile(Temp("a"), "http://h/a.html", "p"), MirrorStore::kStoreOk);
  same_answers("stored");
  EXPECT_TRUE(remembers("http://h/a.html", before));
  EXPECT_FALSE(
      remembers("http://h/a.html", remembering.FindLocalCopy("http://h/a.html", "p").written));
  EXPECT_FALSE(remembers("http://h/old.html", before));  // not written by the store
  ASSERT_EQ(remembering.StoreFile(Temp("a2"), "http://h/a.html", "p"), MirrorStore::kStoreOk);
  same_answers("stored again");
  // A source whose writer tells its time, as a download does.
  const std::string told = Temp("told");
  test::SetWriteTime(told, before - std::chrono::hours(3));
  ASSERT_EQ(remembering.StoreFile(told, "http://h/a.html", "p", {}, nullptr, nullptr,
                                  before - std::chrono::hours(3)),
            MirrorStore::kStoreOk);
  same_answers("stored with its time told");
  ASSERT_EQ(remembering.StoreFile(Temp("<p>"), "http://h/v.cgi", "p", "[3f.html"),
            MirrorStore::kStoreOk);
  same_answers("a variant replaces the earlier one");
  EXPECT_FALSE(remembers("http://h/v.cgi", before));  // a variant's copy is looked up on the disk
  ASSERT_EQ(remembering.StoreFile(Temp("JFIF"), "http://h/v.cgi", "p", "[3f.jpg"),
            MirrorStore::kStoreOk);
  same_answers("and another one replaces it");
  ASSERT_EQ(remembering.StoreFile(Temp("GIF8"), "http://h/w.cgi", "p"), MirrorStore::kStoreOk);
  ASSERT_EQ(remembering.MoveToVariant("http://h/w.cgi", "p", "[3f.gif"), MirrorStore::kStoreOk);
  same_answers("moved to its variant");
  ASSERT_EQ(remembering.WritePermissiveRobotsTxt("http://h/robots.txt", "p"),
            MirrorStore::kStoreOk);
  same_answers("robots.txt");
  test::SetWriteTime(Root() + "p/h/old.html",
                     std::chrono::system_clock::now() - std::chrono::hours(2));
  ASSERT_TRUE(remembering.Touch(Root() + "p/h/old.html"));
  same_answers("touched");
  ASSERT_EQ(remembering.ReplaceWithBytes(Root() + "p/h/a.html", "rewritten"),
            MirrorStore::kStoreOk);
  ASSERT_EQ(remembering.WriteRedirectPage("http://h/old.html", "p", "http://h/a.html", false),
            MirrorStore::kStoreOk);
  same_answers("rewritten");
  // The staging file held a longer page: it is cut, and the time told is that of the cut.
  ASSERT_EQ(remembering.ReplaceWithBytes(Root() + "p/h/a.html", "x"), MirrorStore::kStoreOk);
  EXPECT_EQ(ReadFileBytes(Root() + "p/h/a.html"), "x");
  same_answers("rewritten shorter");

  // The answers for its own files come from memory: a change behind the store's back is not seen.
  const FileTime remembered = remembering.FindLocalCopy("http://h/a.html", "p").written;
  test::SetWriteTime(Root() + "p/h/a.html", remembered - std::chrono::hours(1));
  EXPECT_EQ(remembering.FindLocalCopy("http://h/a.html", "p").written, remembered);
}

// The validator log ties a file's validators to the time the store hands back for each kind of
// write: it must be the file's own, whether or not the store remembers writes, with or without a
// staging file.
TEST_F(MirrorStoreTest, TheTimeAWriteHandsBackIsTheFilesOwn) {
  ASSERT_EQ(MakeParentFolders(Root() + "p/"), 0);
  MirrorStore remembering(Root(), lock_, true, Root() + "p");
  remembering.RememberWrites();
  const struct {
    const MirrorStore* store;
    const char* name;
  } stores[] = {{&store_, "plain"}, {&remembering, "remembering, staging"}};
  for (const auto& s : stores) {
    const MirrorStore& store = *s.store;
    const std::string file = Root() + "p/h/a.html";
    const auto own = [&] { return LastWriteTime(file); };
    std::optional<FileTime> written;
    ASSERT_EQ(store.StoreFile(Temp("<p>one"), "http://h/a.html", "p", {}, nullptr, nullptr,
                              std::nullopt, &written),
              MirrorStore::kStoreOk);
    EXPECT_TRUE(written && written == own()) << s.name << ": stored";
    test::SetWriteTime(file, std::chrono::system_clock::now() - std::chrono::hours(2));
    const std::string staging = store.HelperStagingFile(1);
    written.reset();
    ASSERT_EQ(store.ReplaceWithBytesVia(staging, file, "<p>rewritten", true, &written),
              MirrorStore::kStoreOk);
    EXPECT_TRUE(written && written == own()) << s.name << ": rewritten";
    test::SetWriteTime(file, std::chrono::system_clock::now() - std::chrono::hours(2));
    const std::optional<FileTime> touched = store.Touch(file);
    EXPECT_TRUE(touched && touched == own()) << s.name << ": touched";
    EXPECT_FALSE(store.Touch(Root() + "p/h/none.html")) << s.name;
  }
}

TEST_F(MirrorStoreTest, FilesInFoldersTheStoreMadeAreKnownWithoutLookingAndOthersAreLookedAt) {
  ASSERT_EQ(MakeParentFolders(Root() + "p/e/x"), 0);  // a site folder of an earlier patrol
  MirrorStore remembering(Root(), lock_, true, Root() + "p");
  remembering.RememberWrites();
  ASSERT_EQ(remembering.StoreFile(Temp("a"), "http://h/d/a.html", "p"), MirrorStore::kStoreOk);
  ASSERT_EQ(remembering.StoreFile(Temp("b"), "http://e/b.html", "p"), MirrorStore::kStoreOk);
  ASSERT_EQ(remembering.StoreFile(Temp("<p>"), "http://h/d/q.cgi", "p", "[3f.html"),
            MirrorStore::kStoreOk);
  for (const char* url : {"http://h/d/a.html", "http://h/d/n.html", "http://h/n.html",
                          "http://h/d/q.cgi", "http://h/d/r.cgi", "http://e/b.html"}) {
    const LocalCopy a = remembering.FindLocalCopy(url, "p");
    const LocalCopy b = store_.FindLocalCopy(url, "p");
    EXPECT_EQ(a.cls, b.cls) << url;
    EXPECT_EQ(a.file, b.file) << url;
    EXPECT_EQ(a.written, b.written) << url;
  }
  // A file that appears in a folder that was there before is seen.
  PutFile(Root() + "p/e/c.html", "put there by hand");
  EXPECT_TRUE(remembering.FindLocalCopy("http://e/c.html", "p").Exists());
}

TEST_F(MirrorStoreTest, RedirectPageIsWrittenByteForByte) {
  const std::string expected =
      "<html>\r\n"
      "<head><title>Redirect</title></head>\r\n"
      "<body>\r\n"
      "<a href=\"http://n/new.html\">Requested object is moved</a><br><br>\r\n"
      "Generated by Quillmere<br>\r\n"
      "</body>\r\n"
      "</html>\r\n";
  ASSERT_EQ(store_.WriteRedirectPage("http://h/old/", "p", "http://n/new.html", false),
            MirrorStore::kStoreOk);
  EXPECT_EQ(ReadFileBytes(Root() + "p/h/old/index.html"), expected);

  // A moved robots.txt gets its redirect page beside the name of the copy it stands for.
  ASSERT_EQ(store_.WriteRedirectPage("http://h:8080/robots.txt", "p", "http://n/new.html", true),
            MirrorStore::kStoreOk);
  EXPECT_EQ(ReadFileBytes(Root() + "p/h/robots.txt.html"), expected);
  EXPECT_NE(MirrorStore::RedirectPage("http://n/a\"b").find("href=\"http://n/a%22b\">"),
            std::string::npos);
}

TEST_F(MirrorStoreTest, ARedirectToTheSameLocalNameWritesNoPage) {
  struct Case {
    std::string from;
    std::string to;
    bool same;
  };
  const std::vector<Case> cases = {
      {"http://h/a/p.html", "https://h/a/p.html", true},
      {"http://h:8080/a/", "https://h:8443/a/index.html", true},
      {"https://h/robots.txt", "http://h/robots.txt", true},
      {"http://h/a/p.html", "https://h/a/q.html", false},
      {"http://h/a/p.html", "https://g/a/p.html", false},
      {"http://h/a/p.html", "mailto:x@h", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from + " -> " + c.to);
    EXPECT_EQ(store_.SameLocalName(c.from, c.to, "p"), c.same);
    // The target's own copy stands under the name already; it must stay as it is.
    ASSERT_EQ(store_.StoreFile(Temp("target"), c.to.starts_with("mailto") ? c.from : c.to, "p"),
              MirrorStore::kStoreOk);
    ASSERT_EQ(store_.WriteRedirectPage(c.from, "p", c.to, false), MirrorStore::kStoreOk);
    const std::string stored = ReadFileBytes(*store_.LocalPath(c.from, "p"));
    EXPECT_EQ(stored == "target", c.same) << stored;
  }
}

TEST_F(MirrorStoreTest, PermissiveRobotsTxtIsWrittenInTheSiteFolder) {
  ASSERT_EQ(store_.WritePermissiveRobotsTxt("http://h:8080/robots.txt", "p/f"),
            MirrorStore::kStoreOk);
  EXPECT_EQ(ReadFileBytes(Root() + "p/f/h/robots.txt"),
            "#Robots.txt\r\n#Generated by Quillmere\r\n#Allow all access\r\n");
}

}  // namespace
}  // namespace qlm
