// Choosing the pictures of the show: refill from the pick-up folder and the slide-show list,
// folder expansion with its size filter, item records read through the mirror, and "previous".
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "crawl/LocalPath.h"
#include "picture/PictureChooser.h"
#include "picture/PictureHistory.h"
#include "picture/PictureQueue.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

void MakeParent(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
}

void PutJpeg(const std::string& path, int width, int height) {
  MakeParent(path);
  ASSERT_TRUE(test::WriteTestJpeg(path, {.width = width, .height = height, .quality = 50}));
}

void PutFile(const std::string& path, const std::string& bytes) {
  MakeParent(path);
  ASSERT_TRUE(test::WriteFileBytes(path, bytes));
}

class PictureChooserTest : public testing::Test {
 protected:
  void SetUp() override {
    settings_.SetStored(AppText::MirrorDir, Mirror());
    settings_.SetStored(AppText::PickupDir, Pickup());
    ASSERT_EQ(queue_.Open(dir_.Path() + "/", prompt_), PictureQueue::OpenResult::kOpened);
    chooser_.SetMirrorRoot(Mirror());
    std::filesystem::create_directories(Pickup());
  }

  std::string Mirror() const { return dir_.Path() + "/Mirror/"; }
  std::string Pickup() const { return dir_.Path() + "/Pickup/"; }
  // Where the mirror keeps a URL of the item folder "site" (plus a cgi variant).
  std::string Stored(const std::string& url, const std::string& suffix = "") const {
    return *LocalPath(Mirror(), url, "site") + suffix;
  }

  // Every file Next returns until the queue runs dry, by name relative to `base`.
  std::vector<std::string> Drain(const std::string& base) {
    std::vector<std::string> files;
    PictureRecord r;
    while (chooser_.Next(r)) {
      files.push_back(r.file.starts_with(base) ? r.file.substr(base.size()) : r.file);
      if (files.size() > 100) break;
    }
    return files;
  }

  PictureRecord ItemRecord(int32_t depth_limit, int32_t img_flag) const {
    PictureRecord r;
    r.depth_limit = depth_limit;
    r.img_flag = img_flag;
    r.min_width = 8;
    r.min_height = 8;
    r.interval = 9;
    return r.WithItem("site", "http://h/");
  }

  // A mirrored site. Pictures are 16x16 unless named small (4x4, below the minimum of 8).
  //   /            A p1.html, IMG top.jpg, A big.jpg, A c.cgi?x=1, FRAME fr.html, A gone.html
  //   p1.html      IMG one.jpg, A p2.html, A q.cgi?y, IMG small.jpg
  //   p2.html      IMG two.jpg, A / (back to the start), IMG top.jpg
  //   fr.html      BODY BACKGROUND bg.jpg, FRAME fr2.html
  //   fr2.html     FRAME fr3.html
  //   fr3.html     FRAME fr4.html, IMG deep.jpg (a fourth embedded step)
  //   c.cgi?x=1    stored as a JPEG; q.cgi?y stored as a page with IMG q.jpg
  void MakeSite() {
    PutFile(Stored("http://h/"),
            "<html><a href=p1.html>1</a><img src=\"top.jpg\"><a href='big.jpg'>b</a>"
            "<a href=\"c.cgi?x=1\">c</a><frame src=fr.html><a href=gone.html>g</a></html>");
    PutFile(Stored("http://h/p1.html"),
            "<img src=one.jpg><a href=p2.html>2</a><a href=q.cgi?y>q</a><img src=small.jpg>");
    PutFile(Stored("http://h/p2.html"), "<img src=two.jpg><a href=/>home</a><img src=top.jpg>");
    PutFile(Stored("http://h/fr.html"), "<body background=bg.jpg><frame src=fr2.html>");
    PutFile(Stored("http://h/fr2.html"), "<frame src=fr3.html>");
    PutFile(Stored("http://h/fr3.html"), "<frame src=fr4.html><img src=deep.jpg>");
    PutFile(Stored("http://h/fr4.html"), "<img src=deeper.jpg>");
    PutFile(Stored("http://h/q.cgi?y", "[3f.html"), "<img src=q.jpg>");
    for (const char* name : {"top", "big", "one", "two", "bg", "deep", "deeper", "q"}) {
      PutJpeg(Stored(std::string("http://h/") + name + ".jpg"), 16, 16);
    }
    PutJpeg(Stored("http://h/small.jpg"), 4, 4);
    PutJpeg(Stored("http://h/c.cgi?x=1", "[3f.jpg"), 16, 16);
  }

  test::TempDir dir_;
  test::ScriptedPrompt prompt_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  CSSDoc slides_;
  PictureQueue queue_;
  PictureChooser chooser_{queue_};
};

TEST_F(PictureChooserTest, RefillTakesPickupFolderAndSlideListByPickupDisplay) {
  {
    std::lock_guard lock(slides_.Mutex());
    SlideEntry folder;
    folder.file = "/p.prj";
    folder.folder = "site/Pics:";
    folder.display.pic_chg_interval = 17;
    slides_.Append(folder);
    SlideEntry item = folder;
    item.url = "http://h/";
    item.depth_limit = 3;
    item.display.bg_color = 0x123456;
    slides_.Append(item);
  }
  settings_.SetStored(AppNumber::LinkMax, 6);
  settings_.SetStored(AppNumber::PicChgInterval, 44);
  struct Case {
    int32_t pickup_display;
    std::vector<std::string> expected;  // what is taken, in order: file, folder or item
  };
  const std::string pickup = Pickup().substr(0, Pickup().size() - 1);
  const Case cases[] = {
      {0, {"item http://h/", "folder " + Mirror() + "site/Pics[3a"}},
      {1, {"item http://h/", "folder " + Mirror() + "site/Pics[3a", "folder " + pickup}},
      {2, {"folder " + pickup}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pickup_display);
    settings_.SetStored(AppNumber::PickupDisplay, c.pickup_display);
    queue_.Push(PictureRecord().WithFile("/left/over.jpg"));
    ASSERT_TRUE(chooser_.Refill(settings_, slides_));
    std::vector<std::string> taken;
    PictureRecord r;
    while (queue_.Pop(r)) {
      taken.push_back(r.IsItem() ? "item " + r.item : r.IsFolder() ? "folder " + r.folder : r.file);
      if (r.IsItem()) {
        EXPECT_EQ(r.folder, "site/Pics:");
        EXPECT_EQ(r.depth_limit, 3);
        EXPECT_EQ(r.colour, 0x123456);
      } else if (r.folder == pickup) {
        EXPECT_EQ(r.depth_limit, 6);
        EXPECT_EQ(r.interval, 44);
      } else {
        EXPECT_EQ(r.interval, 17);
      }
      EXPECT_EQ(r.depth, 0);
      EXPECT_EQ(r.hops, 0);
    }
    EXPECT_EQ(taken, c.expected);
  }
}

TEST_F(PictureChooserTest, FolderExpansionTakesJpegNamesOfTheMinimumSizeAndWalksSubfolders) {
  PutJpeg(Pickup() + "a.jpg", 20, 10);
  PutJpeg(Pickup() + "b.JPEG", 20, 10);          // the longer ending, upper case
  PutJpeg(Pickup() + "c.Jpg", 19, 10);           // one pixel too narrow
  PutJpeg(Pickup() + "d.jpg", 20, 9);            // one pixel too low
  PutJpeg(Pickup() + "e.jpg.bak", 20, 10);       // another ending
  PutJpeg(Pickup() + "f.gif", 20, 10);           // a JPEG under another name is not taken
  PutFile(Pickup() + "g.jpg", "not a picture");  // header cannot be read
  PutJpeg(Pickup() + "sub/h.jpg", 40, 40);
  PutJpeg(Pickup() + "sub/deeper/i.jpeg", 20, 10);
  std::filesystem::create_directory_symlink(Pickup(), Pickup() + "loop");  // not followed

  PictureRecord folder;
  folder.min_width = 20;
  folder.min_height = 10;
  folder.interval = 7;
  queue_.Push(folder.WithFolder(Pickup() + "."));  // any folder path will do
  queue_.Push(folder.WithFolder(Pickup().substr(0, Pickup().size() - 1)));
  const std::vector<std::string> shown = Drain(Pickup());
  // Last pushed first: the subfolder (sorted after the files) is expanded before b and a, and
  // within it h.jpg (sorted after "deeper") comes before the folder "deeper".
  const std::vector<std::string> once = {"sub/h.jpg", "sub/deeper/i.jpeg", "b.JPEG", "a.jpg"};
  std::vector<std::string> twice = once;
  for (std::string& name : twice) name = "./" + name;
  twice.insert(twice.begin(), once.begin(), once.end());
  EXPECT_EQ(shown, twice);
  EXPECT_TRUE(queue_.IsEmpty());
}

TEST_F(PictureChooserTest, FileRecordsWhoseFilesAreGoneAreSkippedAndEmptyFoldersYieldNothing) {
  PutJpeg(Pickup() + "x.jpg", 16, 16);
  std::filesystem::create_directories(Pickup() + "empty");
  queue_.Push(PictureRecord().WithFile(Pickup() + "x.jpg"));
  queue_.Push(PictureRecord().WithFolder(Pickup() + "empty"));
  queue_.Push(PictureRecord().WithFolder(Pickup() + "missing"));
  queue_.Push(PictureRecord().WithFile(Pickup() + "gone.jpg"));
  EXPECT_EQ(Drain(Pickup()), std::vector<std::string>{"x.jpg"});

  // Pick-up pictures only, and nothing in the pick-up folder: a refill yields nothing to show.
  std::filesystem::remove(Pickup() + "x.jpg");
  settings_.SetStored(AppNumber::PickupDisplay, 2);
  ASSERT_TRUE(chooser_.Refill(settings_, slides_));
  PictureRecord r;
  EXPECT_FALSE(chooser_.Next(r));
}

TEST_F(PictureChooserTest, ItemExpansionFollowsLinkKindsWithinDepthAndHopLimits) {
  MakeSite();
  struct Case {
    int32_t depth_limit;
    int32_t img_flag;
    std::set<std::string> pictures;
  };
  const Case cases[] = {
      {-1, 1, {}},
      {0, 1, {"top.jpg", "bg.jpg"}},
      {1, 1, {"top.jpg", "bg.jpg", "one.jpg", "big.jpg", "c.cgi[3fx=1[3f.jpg"}},
      {2, 1, {"top.jpg", "bg.jpg", "one.jpg", "big.jpg", "c.cgi[3fx=1[3f.jpg", "two.jpg", "q.jpg"}},
      {2, 0, {"bg.jpg", "big.jpg", "c.cgi[3fx=1[3f.jpg"}},
      {10,
       1,
       {"top.jpg", "bg.jpg", "one.jpg", "big.jpg", "c.cgi[3fx=1[3f.jpg", "two.jpg", "q.jpg"}},
  };
  const std::string host = Mirror() + "site/h/";
  for (const Case& c : cases) {
    SCOPED_TRACE("depth limit " + std::to_string(c.depth_limit) + " IMG " +
                 std::to_string(c.img_flag));
    ASSERT_TRUE(chooser_.Refill(settings_, slides_));  // a new round
    ASSERT_TRUE(queue_.Clear());
    queue_.Push(ItemRecord(c.depth_limit, c.img_flag));
    const std::vector<std::string> shown = Drain(host);
    // Each picture once per round, however many pages name it.
    EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()), c.pictures);
    EXPECT_EQ(shown.size(), c.pictures.size());
  }
}

// The pages link round in a circle; with a depth limit of 10 each is still read once: /, p1, p2,
// q, fr, fr2, fr3 (fr4 would be a fourth embedded step).
TEST_F(PictureChooserTest, PagesReachedInACircleAreReadOncePerRound) {
  MakeSite();
  ASSERT_TRUE(chooser_.Refill(settings_, slides_));
  ASSERT_TRUE(queue_.Clear());
  queue_.Push(ItemRecord(10, 1));
  const std::size_t before = chooser_.PagesRead();
  Drain(Mirror());
  EXPECT_EQ(chooser_.PagesRead() - before, 7u);
}

TEST_F(PictureChooserTest, ItemRecordsOfPicturesCarryTheRecordsValuesAndTheMirroredFile) {
  MakeSite();
  PictureRecord item = ItemRecord(0, 1);
  item.item = "http://h/c.cgi?x=1";
  queue_.Push(item);
  PictureRecord r;
  ASSERT_TRUE(chooser_.Next(r));
  EXPECT_EQ(r.file, Stored("http://h/c.cgi?x=1", "[3f.jpg"));
  EXPECT_EQ(r.interval, 9);
  EXPECT_EQ(r.item, "");
  EXPECT_EQ(r.folder, "");

  // A cgi URL stored as anything but a page or a JPEG, and an item that does not parse, give
  // nothing.
  PutFile(Stored("http://h/g.cgi", "[3f.gif"), "GIF89a");
  item.item = "http://h/g.cgi";
  queue_.Push(item);
  item.item = "not a url";
  queue_.Push(item);
  EXPECT_FALSE(chooser_.Next(r));
}

TEST_F(PictureChooserTest, PreviousPutsThePictureOnScreenBackAndReturnsTheOneBefore) {
  PictureHistory history;
  PictureRecord r;
  EXPECT_FALSE(chooser_.Previous(history, r));
  history.Append(PictureRecord().WithFile("/a.jpg"));
  EXPECT_FALSE(chooser_.Previous(history, r));
  PictureRecord shown = PictureRecord().WithFile("/b.jpg");
  shown.mark = "New Picture";
  shown.interval = 12;
  history.Append(shown);
  ASSERT_TRUE(chooser_.Previous(history, r));
  EXPECT_EQ(r.file, "/a.jpg");
  EXPECT_EQ(history.Count(), 0u);
  PictureRecord back;
  ASSERT_TRUE(queue_.Pop(back));
  EXPECT_EQ(back.file, "/b.jpg");
  EXPECT_EQ(back.mark, "");
  EXPECT_EQ(back.interval, 12);
}

TEST_F(PictureChooserTest, StopFlagPutsTheRecordInHandBack) {
  std::atomic<bool> stop{true};
  chooser_.SetStopFlag(&stop);
  queue_.Push(PictureRecord().WithFolder(Pickup()));
  PictureRecord r;
  EXPECT_FALSE(chooser_.Next(r));
  EXPECT_EQ(queue_.Count(), 1u);
}

TEST(PictureChooserNames, JpegEndingsInAnyCase) {
  for (const char* yes : {"a.jpg", "A.JPG", "b.jpeg", "c.JpEg", ".jpg"}) {
    EXPECT_TRUE(PictureChooser::HasJpegName(yes)) << yes;
  }
  for (const char* no : {"a.jpe", "a.jpg.bak", "jpg", "a.gif", "a.bmp", "a_jpg"}) {
    EXPECT_FALSE(PictureChooser::HasJpegName(no)) << no;
  }
}

}  // namespace
}  // namespace qlm
