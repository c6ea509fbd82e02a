// Pick-up: a JPEG stored by a patrol goes on top of the picture queue when its item is in the
// slide-show list, a display runs, and it is at least the entry's minimum size.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "picture/PicturePickup.h"
#include "picture/PictureQueue.h"
#include "project/CQLMDoc.h"
#include "project/CSSDoc.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

// proj
//   Pics (slide entry: at least 50x40, interval 11)
//     a  http://h/a/x/../  (no entry of its own)
//     b  http://h/b/       (its own entry: at least 10x10, interval 22)
//   c    http://h/c/       (no entry anywhere above it)
class PicturePickupTest : public testing::Test {
 protected:
  void SetUp() override {
    settings_.SetStored(AppText::MirrorDir, dir_.Path() + "/Mirror/");
    ASSERT_TRUE(doc_.New("proj"));
    ProjectItem* pics = Add(doc_.Root(), ProjectItem::kFolder, "Pics");
    Add(*pics, ProjectItem::kRecord, "a", "http://h/a/x/../");
    Add(*pics, ProjectItem::kRecord, "b", "http://h/b/");
    Add(doc_.Root(), ProjectItem::kRecord, "c", "http://h/c/");
    ASSERT_TRUE(doc_.Save(dir_.File("proj.prj")));
    ASSERT_EQ(queue_.Open(dir_.Path() + "/", prompt_), PictureQueue::OpenResult::kOpened);

    std::lock_guard lock(slides_.Mutex());
    slides_.Append(Entry("proj/Pics", "", 50, 40, 11));
    slides_.Append(Entry("proj/Pics", "http://h/b/", 10, 10, 22));
  }

  SlideEntry Entry(const std::string& folder, const std::string& url, int32_t min_w, int32_t min_h,
                   int32_t interval) const {
    SlideEntry e;
    e.file = doc_.PathName();
    e.folder = folder;
    e.url = url;
    e.depth_limit = 5;
    e.display = {.draw_type = 4,
                 .draw_speed = 9,
                 .bg_color = 0xABCDEF,
                 .min_pic_width = min_w,
                 .min_pic_height = min_h,
                 .imgsw = 1,
                 .pic_chg_interval = interval};
    return e;
  }

  static ProjectItem* Add(ProjectItem& parent, ProjectItem::Kind kind, const char* title,
                          const char* url = nullptr) {
    ProjectItem* item = parent.AppendChild(std::make_unique<ProjectItem>(kind));
    item->SetTitle(title);
    if (url) item->SetURL(url);
    return item;
  }

  static LinkRecord Fetched(const std::string& folder_path, const std::string& item_url) {
    LinkRecord r;
    r.folder_path = folder_path;
    r.item_url = item_url;
    r.url = item_url + "p.jpg";
    return r;
  }

  std::string Jpeg(int width, int height) {
    std::string name = "p";
    name += std::to_string(width);
    name += 'x';
    name += std::to_string(height);
    name += ".jpg";
    const std::string path = dir_.File(name);
    EXPECT_TRUE(test::WriteTestJpeg(path, {.width = width, .height = height, .quality = 50}));
    return path;
  }

  test::TempDir dir_;
  test::ScriptedPrompt prompt_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  CQLMDoc doc_{settings_, prompt_};
  CSSDoc slides_;
  PictureQueue queue_;
  std::atomic<bool> display_{true};
  PicturePickup pickup_{doc_, slides_, queue_, [this] { return display_.load(); }};
};

TEST_F(PicturePickupTest, OfferedAtTheEntrysMinimumSizeAndNotOnePixelBelow) {
  struct Case {
    const char* name;
    std::string item_url;
    int width, height;
    bool offered;
    int32_t interval;
  };
  const Case cases[] = {
      {"folder entry, exactly the minimum", "http://h/a/", 50, 40, true, 11},
      {"folder entry, one pixel narrower", "http://h/a/", 49, 40, false, 0},
      {"folder entry, one pixel lower", "http://h/a/", 50, 39, false, 0},
      {"own entry wins over the folder's", "http://h/b/", 10, 10, true, 22},
      {"own entry, below its minimum", "http://h/b/", 9, 10, false, 0},
      {"no entry up to the root", "http://h/c/", 500, 500, false, 0},
      {"an item the project does not have", "http://h/zzz/", 500, 500, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(queue_.Clear());
    const std::string folder = c.item_url == "http://h/c/" ? "proj" : "proj/Pics";
    const std::string file = Jpeg(c.width, c.height);
    EXPECT_EQ(pickup_.Offer(Fetched(folder, c.item_url), file), c.offered);
    PictureRecord r;
    ASSERT_EQ(queue_.Pop(r), c.offered);
    if (!c.offered) continue;
    EXPECT_EQ(r.file, file);
    EXPECT_EQ(r.mark, "New Picture");
    EXPECT_EQ(r.interval, c.interval);
    EXPECT_EQ(r.colour, 0xABCDEF);
    EXPECT_EQ(r.effect, 4);
    EXPECT_EQ(r.delay, 9);
    EXPECT_EQ(r.depth_limit, 0);
  }
}

TEST_F(PicturePickupTest, NothingIsOfferedWithoutADisplayOrForAFileThatIsNoJpeg) {
  const std::string big = Jpeg(200, 200);
  display_ = false;
  EXPECT_FALSE(pickup_.Offer(Fetched("proj/Pics", "http://h/a/"), big));
  EXPECT_TRUE(queue_.IsEmpty());
  display_ = true;
  const std::string gif = dir_.File("p.gif");
  ASSERT_TRUE(test::WriteFileBytes(gif, "GIF89a\x01\x00\x01\x00"));
  EXPECT_FALSE(pickup_.Offer(Fetched("proj/Pics", "http://h/a/"), gif));
  EXPECT_FALSE(pickup_.Offer(Fetched("proj/Pics", "http://h/a/"), dir_.File("missing.jpg")));
  EXPECT_TRUE(queue_.IsEmpty());
  // The newest picture is the next one shown.
  ASSERT_TRUE(queue_.Push(PictureRecord().WithFile("/older.jpg")));
  PictureHook& hook = pickup_;  // as the crawl engine calls it
  hook.PickUp(Fetched("proj/Pics", "http://h/a/"), big);
  PictureRecord r;
  ASSERT_TRUE(queue_.Pop(r));
  EXPECT_EQ(r.file, big);
}

}  // namespace
}  // namespace qlm
