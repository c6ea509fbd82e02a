// The slide-show list: its file's reading rules and written form, the entry an item's property page
// makes, and the list document with its lock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "project/CSSDoc.h"
#include "project/ItemDefaults.h"
#include "project/ProjectItem.h"
#include "project/SlideEntry.h"
#include "project/SlideListReader.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

// Application defaults with a chosen LinkMax (GraphMax's default).
class FixedDefaults : public ItemDefaults {
 public:
  explicit FixedDefaults(int32_t link_max) : link_max_(link_max) {}
  int32_t DefaultOption(ItemOption option) const override {
    return option == ItemOption::GraphMax ? link_max_ : 0;
  }
  std::string DefaultString(ItemString) const override { return {}; }

 private:
  int32_t link_max_;
};

class SlideListTest : public testing::Test {
 protected:
  SlideListTest() {
    project_ = dir_.File("site.prj");
    other_ = dir_.File("other.prj");
    WriteFileBytes(project_, "project");
    WriteFileBytes(other_, "project");
  }

  SlideEntry Entry(const std::string& file, const std::string& folder, const std::string& url,
                   int32_t interval = 30) const {
    SlideEntry e;
    e.file = file;
    e.folder = folder;
    e.url = url;
    e.depth_limit = 2;
    e.display = {.draw_type = 3,
                 .draw_speed = 10,
                 .bg_color = 0x102030,
                 .min_pic_width = 100,
                 .min_pic_height = 80,
                 .imgsw = 1,
                 .pic_chg_interval = interval};
    return e;
  }

  std::vector<SlideEntry> Read(const std::string& bytes) const {
    return SlideListReader(bytes).ReadAll();
  }

  test::TempDir dir_;
  std::string project_;
  std::string other_;
};

TEST_F(SlideListTest, LinesAreTwelveFieldsWithCrLfAndReadBackWhole) {
  SlideEntry record = Entry(project_, "site/News", "http://a.example/x?y=1");
  record.title = "Some title";
  SlideEntry folder = Entry(other_, "other/Pics", "");
  EXPECT_EQ(record.ListLine(), project_ +
                                   "|site/News|http://a.example/x?y=1|Some title|2|3|10|1056816|"
                                   "100|80|1|30\r\n");
  EXPECT_EQ(folder.ListLine(), other_ + "|other/Pics|||2|3|10|1056816|100|80|1|30\r\n");

  const std::vector<SlideEntry> back = Read(record.ListLine() + folder.ListLine());
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0], record);
  EXPECT_EQ(back[1], folder);
  EXPECT_TRUE(back[0].HasItemReference());
  EXPECT_FALSE(back[1].HasItemReference());
}

TEST_F(SlideListTest, ReadingRulesForBlanksNumbersAndLineEnds) {
  struct Case {
    const char* name;
    std::string tail;  // after "FILE|"
    std::size_t entries;
  };
  const std::string good = "f|u|t|1|2|3|4|5|6|7|8\r\n";
  const Case cases[] = {
      {"blanks after separators are skipped", "my folder \t| u |\tt | 1 |2\t|3|4|5|6|7|8  \r\n", 1},
      {"a number without digits reads 0", "f|u|t||2|3|4|5|6|7|8\r\n", 1},
      {"a sign breaks the line", "f|u|t|-1|2|3|4|5|6|7|8\r\n", 0},
      {"LF alone breaks the line", "f|u|t|1|2|3|4|5|6|7|8\n", 0},
      {"a missing field breaks the line", "f|u|t|1|2|3|4|5|6|7\r\n", 0},
      {"an extra field breaks the line", "f|u|t|1|2|3|4|5|6|7|8|9\r\n", 0},
      {"no line end at the end of the file", "f|u|t|1|2|3|4|5|6|7|8", 0},
      {"a tab ends a text field, so text after it breaks the line", "f\tx|u|t|1|2|3|4|5|6|7|8\r\n",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<SlideEntry> entries = Read(project_ + "|" + c.tail + project_ + "|" + good);
    // A broken line ends the reading: the good line after it is not read either.
    EXPECT_EQ(entries.size(), c.entries == 1 ? 2u : 0u);
  }
  const std::vector<SlideEntry> spaced =
      Read(project_ + "|my folder \t| u |\tt | 1 |2\t|3|4|5|6|7|8  \r\n");
  ASSERT_EQ(spaced.size(), 1u);
  // A text field runs to the "|" (or a tab): spaces before it belong to the field.
  EXPECT_EQ(spaced[0].folder, "my folder ");
  EXPECT_EQ(spaced[0].url, "u ");
  EXPECT_EQ(spaced[0].title, "t ");
  EXPECT_EQ(spaced[0].display.pic_chg_interval, 8);
}

TEST_F(SlideListTest, MissingProjectFilesAreSkippedAndABrokenLineKeepsWhatCameBefore) {
  const std::string bytes =
      Entry(project_, "a", "").ListLine() + Entry(dir_.File("gone.prj"), "b", "").ListLine() +
      Entry(other_, "c", "").ListLine() + "garbage\r\n" + Entry(project_, "d", "").ListLine();
  const std::vector<SlideEntry> entries = Read(bytes);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].folder, "a");
  EXPECT_EQ(entries[1].folder, "c");
}

TEST_F(SlideListTest, HugeNumbersSaturateAndLongFieldsStayWhole) {
  const std::string long_folder(3000, 'x');
  const std::vector<SlideEntry> entries =
      Read(project_ + "|" + long_folder + "|u|t|99999999999|2|3|4|5|6|7|8\r\n");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].folder, long_folder);
  EXPECT_EQ(entries[0].depth_limit, INT32_MAX);
}

TEST_F(SlideListTest, EveryWrittenLineReadsBackEvenFromOutOfRangeValues) {
  SlideEntry e = Entry(project_, "f", "u");
  e.depth_limit = -1;
  e.display.bg_color = -5;
  e.display.imgsw = -1;
  const std::vector<SlideEntry> back = Read(e.ListLine());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].depth_limit, 0);
  EXPECT_EQ(back[0].display.bg_color, 0);
}

TEST_F(SlideListTest, EntryFromAnItemTakesItsDepthLimitAndForcesDisplayRanges) {
  ProjectItem root(ProjectItem::kRoot);
  root.SetTitle("site");
  auto* folder = root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
  folder->SetTitle("News");
  auto* record = folder->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  record->SetURL("http://a.example/");
  record->SetTitle("A");

  const SlideDisplay wild{.draw_type = 5,
                          .draw_speed = 500,
                          .bg_color = 0xFF,
                          .min_pic_width = 9999,
                          .min_pic_height = -3,
                          .imgsw = 1,
                          .pic_chg_interval = 1};
  const FixedDefaults defaults(4);
  SlideEntry from_record = SlideEntry::FromItem(*record, project_, defaults, wild);
  EXPECT_EQ(from_record.file, project_);
  EXPECT_EQ(from_record.folder, "site/News");
  EXPECT_EQ(from_record.url, "http://a.example/");
  EXPECT_EQ(from_record.depth_limit, 4);  // the application's LinkMax
  EXPECT_EQ(from_record.display.draw_speed, 100);
  EXPECT_EQ(from_record.display.min_pic_width, 640);
  EXPECT_EQ(from_record.display.min_pic_height, 0);
  EXPECT_EQ(from_record.display.pic_chg_interval, 5);

  folder->SetOwn(ItemOption::GraphMax, 7);
  from_record = SlideEntry::FromItem(*record, project_, defaults, wild);
  EXPECT_EQ(from_record.depth_limit, 7);  // inherited from the folder
  const SlideEntry from_folder = SlideEntry::FromItem(*folder, project_, defaults, wild);
  EXPECT_EQ(from_folder.folder, "site/News");
  EXPECT_EQ(from_folder.url, "");
  // Both name different items though their folder paths agree.
  EXPECT_FALSE(from_folder.SameItem(from_record.file, from_record.folder, from_record.url));
  EXPECT_EQ(SlideEntry::FromItem(root, project_, FixedDefaults(-1), wild).depth_limit, 0);
}

TEST_F(SlideListTest, AbsentFileIsCreatedEmptyAndSavedListReloads) {
  CSSDoc doc;
  ASSERT_TRUE(doc.Load(dir_.Path()));
  EXPECT_EQ(doc.Count(), 0u);
  struct stat st;
  EXPECT_EQ(stat(CSSDoc::ListPath(dir_.Path()).c_str(), &st), 0);

  SlideEntry a = Entry(project_, "site/A", "");
  SlideEntry b = Entry(other_, "other", "http://b.example/", 60);
  b.title = "B";
  ASSERT_TRUE(doc.SetItemEntry(a, true, dir_.Path()));
  ASSERT_TRUE(doc.SetItemEntry(b, true, dir_.Path()));
  EXPECT_EQ(ReadFileBytes(CSSDoc::ListPath(dir_.Path())), a.ListLine() + b.ListLine());

  CSSDoc again;
  ASSERT_TRUE(again.Load(dir_.Path() + "/"));
  std::lock_guard lock(again.Mutex());
  ASSERT_EQ(again.Count(), 2u);
  EXPECT_EQ(*again.Entries()[0], a);
  EXPECT_EQ(*again.Entries()[1], b);
}

TEST_F(SlideListTest, PropertyPageReplacesOrRemovesTheItemsEntry) {
  CSSDoc doc;
  ASSERT_TRUE(doc.Load(dir_.Path()));
  ASSERT_TRUE(doc.SetItemEntry(Entry(project_, "site", ""), true, dir_.Path()));
  ASSERT_TRUE(doc.SetItemEntry(Entry(project_, "site", "http://a.example/"), true, dir_.Path()));
  // The same item again replaces its entry, which moves to the end.
  ASSERT_TRUE(doc.SetItemEntry(Entry(project_, "site", "", 99), true, dir_.Path()));
  {
    std::lock_guard lock(doc.Mutex());
    ASSERT_EQ(doc.Count(), 2u);
    EXPECT_EQ(doc.Entries()[0]->url, "http://a.example/");
    EXPECT_EQ(doc.Entries()[1]->display.pic_chg_interval, 99);
  }
  const std::string saved = ReadFileBytes(CSSDoc::ListPath(dir_.Path()));

  // Unchecked: the entry leaves the list at once, the file keeps it until the next save.
  ASSERT_TRUE(doc.SetItemEntry(Entry(project_, "site", "http://a.example/"), false, dir_.Path()));
  {
    std::lock_guard lock(doc.Mutex());
    EXPECT_EQ(doc.Count(), 1u);
    EXPECT_EQ(doc.Find(project_, "site", "http://a.example/"), nullptr);
  }
  EXPECT_EQ(ReadFileBytes(CSSDoc::ListPath(dir_.Path())), saved);
  ASSERT_TRUE(doc.Save(dir_.Path()));
  EXPECT_EQ(ReadFileBytes(CSSDoc::ListPath(dir_.Path())),
            Entry(project_, "site", "", 99).ListLine());
}

TEST_F(SlideListTest, ListDialogChangesDisplayValuesWithinRangesAndRemovesEntries) {
  CSSDoc doc;
  SlideEntry* first = nullptr;
  SlideEntry* second = nullptr;
  {
    std::lock_guard lock(doc.Mutex());
    first = &doc.Append(Entry(project_, "a", ""));
    second = &doc.Append(Entry(project_, "b", ""));
  }
  EXPECT_TRUE(doc.ChangeDisplay(second, {.draw_speed = 1000, .pic_chg_interval = 100000}));
  EXPECT_EQ(second->display.draw_speed, 100);
  EXPECT_EQ(second->display.pic_chg_interval, 86400);
  EXPECT_EQ(second->depth_limit, 2);  // not edited there
  {
    std::lock_guard lock(doc.Mutex());
    EXPECT_TRUE(doc.Remove(first));
    EXPECT_FALSE(doc.Remove(first));
  }
  EXPECT_FALSE(doc.ChangeDisplay(first, {}));
  std::vector<std::string> folders;
  doc.ForEach([&](const SlideEntry& e) {
    folders.push_back(e.folder);
    return true;
  });
  EXPECT_EQ(folders, std::vector<std::string>{"b"});
}

TEST_F(SlideListTest, PatrolTitleGoesToEveryEntryOfTheItemWhateverTheUrlSpelling) {
  CSSDoc doc;
  {
    std::lock_guard lock(doc.Mutex());
    doc.Append(Entry(project_, "site", "http://A.example:80/a/../index.html"));
    doc.Append(Entry(project_, "site", ""));                           // the folder: not this item
    doc.Append(Entry(other_, "site", "http://a.example/index.html"));  // another project
  }
  // The patrol names the item by its normalised URL.
  EXPECT_EQ(doc.RetitleItem(project_, "site", "http://A.example:80/index.html", "New"), 1u);
  std::vector<std::string> titles;
  doc.ForEach([&](const SlideEntry& e) {
    titles.push_back(e.title);
    return true;
  });
  EXPECT_EQ(titles, (std::vector<std::string>{"New", "", ""}));
}

TEST_F(SlideListTest, WritersOnTwoThreadsKeepTheListWhole) {
  CSSDoc doc;
  auto writer = [&](const std::string& prefix) {
    for (int i = 0; i < 200; ++i) {
      SlideEntry e = Entry(project_, prefix + std::to_string(i % 10), "");
      std::lock_guard lock(doc.Mutex());
      doc.Remove(doc.Find(e.file, e.folder, e.url));
      doc.Append(e);
    }
  };
  std::thread one(writer, "x");
  std::thread two(writer, "y");
  std::size_t seen = 0;
  for (int i = 0; i < 100; ++i) {
    doc.ForEach([&](const SlideEntry&) {
      ++seen;
      return true;
    });
  }
  one.join();
  two.join();
  std::lock_guard lock(doc.Mutex());
  EXPECT_EQ(doc.Count(), 20u);
}

// A program that changed nothing must not write its start-up copy over the file, or it would undo
// titles that a patrol in another program saved meanwhile.
TEST_F(SlideListTest, OnlyAListChangedInMemoryAsksToBeSaved) {
  CSSDoc doc;
  {
    std::lock_guard lock(doc.Mutex());
    doc.Append(Entry(project_, "site", "http://a.example/"));
  }
  ASSERT_TRUE(doc.Save(dir_.Path()));
  EXPECT_FALSE(doc.Modified());

  CSSDoc reread;
  ASSERT_TRUE(reread.Load(dir_.Path()));
  EXPECT_FALSE(reread.Modified());
  EXPECT_EQ(reread.RetitleItem(project_, "site", "http://b.example/", "Other"), 0u);
  EXPECT_FALSE(reread.Modified());
  EXPECT_EQ(reread.RetitleItem(project_, "site", "http://a.example/", "Top"), 1u);
  EXPECT_TRUE(reread.Modified());
  ASSERT_TRUE(reread.Save(dir_.Path()));
  EXPECT_FALSE(reread.Modified());
}

}  // namespace
}  // namespace qlm
