// The main frame's project documents: the File menu's new, save as, close with its question, the
// recent files, a project opened twice; the add-item dialog's checks; the browser's side.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>
#include <string>
#include <vector>

#include "app/gui/dialogs/AddItemDialog.h"
#include "app/gui/frames/CChildFrame.h"
#include "app/gui/frames/ProjectDocuments.h"
#include "app/gui/views/BrowserBridge.h"
#include "app/gui/views/CLinkView.h"
#include "app/gui/views/ProjectTreeModel.h"
#include "crawl/MirrorStore.h"
#include "platform/ApplicationLock.h"
#include "platform/Folders.h"
#include "tests/gui/ProjectWindowFixture.h"

namespace qlm {
namespace {

class ProjectDocumentsTest : public test::ProjectWindowFixture {
 protected:
  void SetUp() override {
    ProjectWindowFixture::SetUp();
    docs_ = new ProjectDocuments(window_, context_);
    docs_->ask_save = [this](const QString& name) {
      asked_.push_back(name.toStdString());
      return answer_;
    };
    docs_->ask_file = [this](bool, const QString&) { return file_; };
  }
  void TearDown() override {
    docs_->DestroyAll();
    ProjectWindowFixture::TearDown();
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(test::WriteFileBytes(path, text));
    return path;
  }
  // Serves Qt until the windows closed meanwhile are gone.
  void Settle() {
    for (int i = 0; i < 5; ++i) {
      QCoreApplication::processEvents();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
  }

  QMainWindow window_;
  ProjectDocuments* docs_ = nullptr;  // a child of window_
  std::vector<std::string> asked_;
  int answer_ = QMessageBox::Cancel;
  QString file_;
};

TEST_F(ProjectDocumentsTest, NewProjectSavedUnderANameTakesItsTitleAndItsMark) {
  CChildFrame* frame = docs_->NewProject();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->windowTitle().toStdString(), "QLM1");
  frame->Doc().Root().AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
  frame->Doc().SetModified(true);
  frame->UpdateTitle();
  EXPECT_EQ(frame->windowTitle().toStdString(), "QLM1*");

  file_ = QString::fromStdString(dir_.File("Harbour"));
  ASSERT_TRUE(docs_->Save(*frame)) << "a new project is saved under a name asked for";
  EXPECT_EQ(frame->windowTitle().toStdString(), "Harbour.prj");
  EXPECT_EQ(frame->Doc().Name(), "Harbour");
  EXPECT_EQ(docs_->RecentFiles(), (std::vector<std::string>{dir_.File("Harbour.prj")}));
  EXPECT_EQ(frame->Tree().Model().data(frame->Tree().Model().index(0, 0, {}), Qt::DisplayRole),
            "Harbour")
      << "the root shows the new name";
}

TEST_F(ProjectDocumentsTest, ClosingAModifiedProjectAsksFirst) {
  struct Case {
    const char* question;
    int answer;
    bool closed;
    bool saved;
  } cases[] = {
      {"Cancel keeps the window?", QMessageBox::Cancel, false, false},
      {"No closes without saving?", QMessageBox::No, true, false},
      {"Yes saves and closes?", QMessageBox::Yes, true, true},
  };
  for (const Case& c : cases) {
    const std::string path = Write("p.prj", "Folder=\"A\"\n{\n}\n");
    CChildFrame* frame = docs_->OpenProject(path);
    ASSERT_NE(frame, nullptr);
    const_cast<ProjectItem*>(frame->Doc().FindItem("p/A", ""))->SetTitle("B");
    frame->Doc().SetModified(true);
    asked_.clear();
    answer_ = c.answer;
    EXPECT_EQ(docs_->Close(*frame), c.closed) << c.question;
    Settle();
    EXPECT_EQ(asked_, (std::vector<std::string>{"p.prj"})) << c.question;
    EXPECT_EQ(docs_->Frames().size(), c.closed ? 0u : 1u) << c.question;
    EXPECT_EQ(test::ReadFileBytes(path).find("\"B\"") != std::string::npos, c.saved) << c.question;
    docs_->DestroyAll();
    Settle();
  }
}

TEST_F(ProjectDocumentsTest, AProjectOpenedTwiceHasOneWindowAndRecentFilesKeepFour) {
  std::vector<std::string> paths;
  for (const char* name : {"a.prj", "b.prj", "c.prj", "d.prj", "e.prj"}) {
    paths.push_back(Write(name, "ProjectDefault\n{\n}\n"));
    ASSERT_NE(docs_->OpenProject(paths.back()), nullptr);
  }
  EXPECT_EQ(docs_->OpenProject(paths[1]), docs_->FrameOf(paths[1]));
  EXPECT_EQ(docs_->Frames().size(), 5u);
  EXPECT_EQ(docs_->RecentFiles(),
            (std::vector<std::string>{paths[4], paths[3], paths[2], paths[1]}))
      << "the latest four, latest first; activating an open one changes nothing";
  EXPECT_EQ(docs_->OpenProject(dir_.File("missing.prj")), nullptr);
  EXPECT_EQ(docs_->Frames().size(), 5u);
  ASSERT_EQ(prompt_.messages.size(), 1u);
  EXPECT_EQ(
      prompt_.messages[0].rfind("プロジェクトを開けません。\ncannot read the project file", 0), 0u)
      << prompt_.messages[0];
}

TEST(AddItemDialog, ChecksWhatOkTakes) {
  struct Case {
    const char* question;
    AddItemDialog::Mode mode;
    const char* text;
    const char* problem;  // empty when OK closes the dialog
    const char* result;
  } cases[] = {
      {"a folder name?", AddItemDialog::Mode::kFolder, "Pictures", "", "Pictures"},
      {"an empty folder name?", AddItemDialog::Mode::kFolder, "  ", "フォルダ名を入力して下さい。",
       ""},
      {"a URL, normalized?", AddItemDialog::Mode::kUrl, "http://Example.COM/a/../b.html", "",
       "http://Example.COM/b.html"},
      {"text that is no URL?", AddItemDialog::Mode::kUrl, "no url here",
       "URL が不正です。正しい URL を入力して下さい。", ""},
  };
  for (const Case& c : cases) {
    std::string result;
    EXPECT_EQ(AddItemDialog::Check(c.mode, QString::fromUtf8(c.text), &result).toStdString(),
              c.problem)
        << c.question;
    EXPECT_EQ(result, c.result) << c.question;
  }
}

TEST(BrowserBridge, TheFirstHttpUrlOfSelectionAndClipboard) {
  struct Case {
    const char* question;
    std::string selection;
    std::string clipboard;
    std::optional<std::string> url;
  } cases[] = {
      {"the selection first?", "http://a.example/x", "http://b.example/", "http://a.example/x"},
      {"the clipboard when the selection is no URL?", "some words", " http://b.example/\n",
       "http://b.example/"},
      {"nothing that is http?", "ftp://c.example/", "", std::nullopt},
      {"nothing at all?", "", "", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BrowserBridge::FirstHttpUrl({c.selection, c.clipboard}), c.url) << c.question;
  }
}

TEST_F(ProjectDocumentsTest, BrowserOpensTheStoredCopyWithItsVariantAndNothingWithout) {
  std::vector<QUrl> opened;
  BrowserBridge::SetOpener([&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  const std::string page = "http://h.example/s.cgi?q=1";
  MirrorStore store(Mirror(), ApplicationLock());
  const std::string file = *store.LocalPath(page, "p") + "[3f.html";
  ASSERT_TRUE(CreateFolders(file.substr(0, file.rfind('/') + 1), 0755));
  ASSERT_TRUE(test::WriteFileBytes(file, "<html></html>"));
  EXPECT_TRUE(BrowserBridge::ShowStoredCopy(Mirror(), page, "p"));
  EXPECT_FALSE(BrowserBridge::ShowStoredCopy(Mirror(), "http://h.example/none.html", "p"));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toLocalFile().toStdString(), file);
  BrowserBridge::SetOpener(nullptr);
}

}  // namespace
}  // namespace qlm
