// The project tree and the page list: the enable rules of the tree's commands, drops that are
// refused, the links of a mirrored site unfolded below its item, label edits, and deleting an item
// with its timer and slide-show entries.
#include <gtest/gtest.h>

#include <QApplication>
#include <string>
#include <vector>

#include "app/gui/views/CLinkView.h"
#include "app/gui/views/CPageView.h"
#include "app/gui/views/ProjectTreeModel.h"
#include "app/gui/views/TreeCommands.h"
#include "crawl/MirrorStore.h"
#include "platform/ApplicationLock.h"
#include "platform/Folders.h"
#include "project/ProjectWriter.h"
#include "tests/gui/ProjectWindowFixture.h"

namespace qlm {
namespace {

using Sel = TreeSelection;
using Cmd = TreeCommand;

TEST(TreeCommands, EnableRules) {
  struct Case {
    const char* question;
    Cmd command;
    TreeConditions conditions;
    bool enabled;
  };
  const TreeConditions folder{.selection = Sel::kFolder};
  const TreeConditions slide_window{.slide_window = true, .selection = Sel::kFolder};
  const TreeConditions saver{.screen_saver = true, .selection = Sel::kUrlItem};
  const TreeConditions changer{.changer = true, .selection = Sel::kUrlItem};
  const TreeConditions patrolling{.patrolling = true, .selection = Sel::kUrlItem};
  const Case cases[] = {
      {"new folder in a folder?", Cmd::kNewFolder, folder, true},
      {"new folder in the root?", Cmd::kNewFolder, {.selection = Sel::kRoot}, true},
      {"new URL below a URL item?", Cmd::kNewUrl, {.selection = Sel::kUrlItem}, false},
      {"URL from the browser below a link?",
       Cmd::kUrlFromBrowser,
       {.selection = Sel::kLink},
       false},
      {"new folder while the slide window is open?", Cmd::kNewFolder, slide_window, false},
      {"delete the root?", Cmd::kDelete, {.selection = Sel::kRoot}, false},
      {"delete a URL item?", Cmd::kDelete, {.selection = Sel::kUrlItem}, true},
      {"delete a link node?", Cmd::kDelete, {.selection = Sel::kLink}, false},
      {"delete while the screen saver runs?", Cmd::kDelete, saver, false},
      {"delete saved data while the changer is on?", Cmd::kDeleteData, changer, false},
      {"copy the root's saved data?", Cmd::kCopyData, {.selection = Sel::kRoot}, true},
      {"move saved data while patrolling?", Cmd::kMoveData, patrolling, false},
      {"properties while the slide window is open?", Cmd::kProperties, slide_window, true},
      {"patrol mark while the slide window is open?", Cmd::kMarkSelected, slide_window, true},
      {"patrol mark while patrolling?", Cmd::kMarkForbidden, patrolling, false},
      {"patrol mark of a link node?", Cmd::kMarkDefault, {.selection = Sel::kLink}, false},
      {"browser for a link node?", Cmd::kShowInBrowser, {.selection = Sel::kLink}, true},
      {"browser for a folder?", Cmd::kShowInBrowser, folder, false},
      {"browser while patrolling?", Cmd::kShowInBrowser, patrolling, false},
      {"browser while the screen saver runs?", Cmd::kShowInBrowser, saver, true},
      {"anything without a selection?", Cmd::kProperties, {.selection = Sel::kNone}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TreeCommandEnabled(c.command, c.conditions), c.enabled) << c.question;
  }
}

// Root "site" > F > (G, Record u1); root > Record u2; root > Foo.
class LinkViewTest : public test::ProjectWindowFixture {
 protected:
  static constexpr const char* kProject =
      "Folder=\"F\"\n{\n\tFolder=\"G\"\n\t{\n\t}\n\tRecord\n\t{\n\t\tURL=\"http://h.example/u1/"
      "index.html\"\n\t}\n}\nRecord\n{\n\tURL=\"http://h.example/u2.html\"\n}\nFolder=\"Foo\"\n{"
      "\n}\n";

  ProjectItem& Item(const char* folder, const char* url = "") {
    const ProjectItem* item = frame_->Doc().FindItem(folder, url);
    EXPECT_NE(item, nullptr) << folder << " " << url;
    return *const_cast<ProjectItem*>(item);
  }
  std::string ProjectText() {
    std::string text;
    ProjectWriter::Format(frame_->Doc().Root(), text);
    return text;
  }
  // Stores a page in the mirror as a patrol would, below the item folder path.
  void StorePage(const std::string& url, const std::string& folder, const std::string& html) {
    MirrorStore store(Mirror(), ApplicationLock());
    const std::optional<std::string> path = store.LocalPath(url, folder);
    ASSERT_TRUE(path);
    ASSERT_TRUE(CreateFolders(path->substr(0, path->rfind('/') + 1), 0755));
    ASSERT_TRUE(test::WriteFileBytes(*path, html));
  }
  std::vector<std::string> Children(const QModelIndex& index) {
    ProjectTreeModel& model = frame_->Tree().Model();
    std::vector<std::string> texts;
    for (int row = 0; row < model.rowCount(index); ++row) {
      texts.push_back(
          model.data(model.index(row, 0, index), Qt::DisplayRole).toString().toStdString());
    }
    return texts;
  }
  void Expand(const QModelIndex& index) {
    frame_->Tree().expand(index);
    ASSERT_TRUE(test::ServeQtUntil([&] { return !frame_->Tree().Model().Reading(); }));
  }
};

TEST_F(LinkViewTest, DropsThatCannotBePlacedBeepAndChangeNothing) {
  CChildFrame& frame = Open(kProject);
  ProjectItem& f = Item("site/F");
  ProjectItem& g = Item("site/F/G");
  ProjectItem& u1 = Item("site/F", "http://h.example/u1/index.html");
  struct Case {
    const char* question;
    ProjectItem* dragged;
    ProjectItem* target;
    DropRefusal refusal;
  } cases[] = {
      {"a folder onto its own subfolder?", &f, &g, DropRefusal::kBelowSelf},
      {"a folder onto itself?", &f, &f, DropRefusal::kSelf},
      {"onto a URL item?", &g, &u1, DropRefusal::kNotAFolder},
      {"onto nothing?", &g, nullptr, DropRefusal::kNoTarget},
      {"onto the folder it is in?", &u1, &f, DropRefusal::kSameParent},
  };
  const std::string before = ProjectText();
  for (const Case& c : cases) {
    EXPECT_EQ(CheckDrop(*c.dragged, c.target, false), c.refusal) << c.question;
    EXPECT_FALSE(frame.Tree().DropItem(*c.dragged, c.target)) << c.question;
    EXPECT_EQ(ProjectText(), before) << c.question;
  }
  EXPECT_EQ(CheckDrop(g, &frame.Doc().Root(), true), DropRefusal::kPatrolling);
  EXPECT_FALSE(frame.Doc().IsModified());

  // A drop that fits, leaving the saved data as it is, moves the item at once.
  frame.Tree().Ask().mirror_files = [] { return MirrorFilesDialog::kNothing; };
  ASSERT_TRUE(frame.Tree().DropItem(g, &frame.Doc().Root()));
  EXPECT_EQ(g.Parent(), &frame.Doc().Root());
  EXPECT_EQ(frame.Doc().Root().LastChild(), &g);
  EXPECT_TRUE(frame.Doc().IsModified());
  EXPECT_TRUE(frame.Tree().Model().IndexOfItem(&g).isValid());
}

TEST_F(LinkViewTest, MirroredPageUnfoldsItsLinksAndThePageListShowsTheRest) {
  const std::string u1 = "http://h.example/u1/index.html";
  StorePage(u1, "site/F",
            "<a href=one.html>1</a><img src=pic.jpg><a href=two.cgi>2</a>"
            "<body background=bg.gif><frame src=three.html>");
  StorePage("http://h.example/u1/one.html", "site/F", "<a href=deep.html>d</a>");
  CChildFrame& frame = Open(kProject);
  ProjectTreeModel& model = frame.Tree().Model();
  const QModelIndex item = model.IndexOfItem(&Item("site/F", u1.c_str()));
  ASSERT_EQ(model.rowCount(item), 1) << "a stored page gets a placeholder";
  Expand(item);
  EXPECT_EQ(Children(item),
            (std::vector<std::string>{"http://h.example/u1/one.html", "http://h.example/u1/two.cgi",
                                      "http://h.example/u1/three.html"}))
      << "A, AREA and FRAME links, in document order";
  const QModelIndex one = model.index(0, 0, item);
  EXPECT_EQ(model.ImageOf(*model.NodeAt(one), false), 11) << "a stored page";
  EXPECT_EQ(model.ImageOf(*model.NodeAt(model.index(1, 0, item)), false), 8) << "a missing cgi";

  // The page list: the other links, latest first.
  frame.Tree().setCurrentIndex(item);
  ASSERT_TRUE(test::ServeQtUntil([&] { return frame.Pages().Entries().size() == 2; }));
  EXPECT_EQ(frame.Pages().Entries()[0].url, "http://h.example/u1/bg.gif");
  EXPECT_EQ(frame.Pages().Entries()[1].url, "http://h.example/u1/pic.jpg");

  // A link node's page unfolds too; folded again, it is read anew at the next unfolding.
  Expand(one);
  EXPECT_EQ(Children(one), (std::vector<std::string>{"http://h.example/u1/deep.html"}));
  frame.Tree().collapse(one);
  StorePage("http://h.example/u1/one.html", "site/F", "<a href=deeper.html>d</a>");
  Expand(one);
  EXPECT_EQ(Children(one), (std::vector<std::string>{"http://h.example/u1/deeper.html"}));
}

TEST_F(LinkViewTest, LabelEdits) {
  CChildFrame& frame = Open(kProject);
  ProjectTreeModel& model = frame.Tree().Model();
  struct Case {
    const char* question;
    const char* folder;
    const char* url;
    const char* text;
    bool taken;
    const char* shown;
  } cases[] = {
      {"a folder takes the text as its title?", "site/F/G", "", "Pictures", true, "Pictures"},
      {"an empty folder title?", "site/F", "", "", false, "F"},
      {"a URL item takes a URL?", "site", "http://h.example/u2.html", "http://h.example/new.html",
       true, "http://h.example/new.html"},
      {"a URL item keeps its URL for a text that is none?", "site", "http://h.example/new.html",
       "not a url", false, "http://h.example/new.html"},
      {"the root keeps its name?", "site", "", "other", false, "site"},
  };
  for (const Case& c : cases) {
    const QModelIndex index = model.IndexOfItem(&Item(c.folder, c.url));
    EXPECT_EQ(model.setData(index, QString::fromUtf8(c.text), Qt::EditRole), c.taken) << c.question;
    EXPECT_EQ(model.data(index, Qt::DisplayRole).toString().toStdString(), c.shown) << c.question;
  }
  EXPECT_EQ(frame.Doc().FindItem("site/F", "")->FirstChild()->Title(), "Pictures");
  EXPECT_TRUE(frame.Doc().IsModified());
}

TEST_F(LinkViewTest, DeletingAnItemTakesItsTimerAndSlideShowEntriesAndThoseBelowIt) {
  Open(kProject);
  const std::string file = ProjectPath();
  auto timer = [&](const char* folder, const char* url) {
    TimerEntry entry;
    entry.file = file;
    entry.folder = folder;
    entry.url = url;
    timers_.Add(entry);
  };
  auto slide = [&](const char* folder, const char* url) {
    SlideEntry entry;
    entry.file = file;
    entry.folder = folder;
    entry.url = url;
    std::lock_guard lock(slides_.Mutex());
    slides_.Append(entry);
  };
  timer("site/F", "");                                // the folder itself
  timer("site/F", "http://h.example/u1/index.html");  // a URL item in it
  timer("site/Foo", "");                              // a sibling whose name begins alike
  slide("site/F/G", "");                              // a folder below it
  slide("site", "http://h.example/u2.html");          // elsewhere
  ASSERT_TRUE(frame_->Tree().Model().BoldOf(Item("site/F/G")));

  frame_->Tree().DeleteItemNow(&Item("site/F"));
  EXPECT_EQ(frame_->Doc().FindItem("site/F", ""), nullptr);
  ASSERT_EQ(timers_.Count(), 1u);
  EXPECT_EQ(timers_.Entries()[0]->folder, "site/Foo");
  ASSERT_EQ(slides_.Count(), 1u);
  EXPECT_EQ(slides_.Entries()[0]->url, "http://h.example/u2.html");
  EXPECT_FALSE(frame_->Tree().Model().IndexOfItem(nullptr).isValid());
  EXPECT_TRUE(frame_->Doc().IsModified());
}

}  // namespace
}  // namespace qlm
