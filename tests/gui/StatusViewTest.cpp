// The download status view: what each status message shows, the lamp's colours, and patrols of a
// project window run on the network worker under the project's patrol lock, as `--patrol` runs
// them.
#include <gtest/gtest.h>

#include <QColor>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/frames/CChildFrame.h"
#include "app/gui/views/CDLStatView.h"
#include "app/gui/views/CLinkView.h"
#include "platform/NamedMutex.h"
#include "tests/gui/ProjectWindowFixture.h"
#include "tests/support/SiteServer.h"

namespace qlm {
namespace {

using Column = CDLStatView::Column;

class StatusViewTest : public test::ProjectWindowFixture {};

TEST_F(StatusViewTest, EachMessageShowsInItsRow) {
  struct Case {
    const char* question;
    std::function<void(PatrolStatus&)> steps;
    int row;
    const char* bytes;
    const char* size;
    const char* percent;
    const char* url;
  };
  const Case cases[] = {
      {"waiting for the interval: URL, state word, size 0?",
       [](PatrolStatus& s) { s.ObjInterval(1, "http://h/a.html"); }, 1, "Interval", "0", "",
       "http://h/a.html"},
      {"connecting?",
       [](PatrolStatus& s) {
         s.ObjInterval(0, "http://h/a.html");
         s.ObjContacting(0);
       },
       0, "Contacting", "0", "", "http://h/a.html"},
      {"connected?", [](PatrolStatus& s) { s.ObjConnected(4); }, 4, "Connected", "", "", ""},
      {"length told: its size, 0 percent, 0 bytes?", [](PatrolStatus& s) { s.ObjLength(2, 1000); },
       2, "0", "1000", "0", ""},
      {"length -1: Unknown size and percent?", [](PatrolStatus& s) { s.ObjLength(2, -1); }, 2, "0",
       "Unknown", "Unknown", ""},
      {"half received: bytes and 50 percent?",
       [](PatrolStatus& s) {
         s.ObjLength(3, 1000);
         s.ObjProgress(3, 1000, 500);
       },
       3, "500", "1000", "50", ""},
      {"received without a length: bytes only, still Unknown?",
       [](PatrolStatus& s) {
         s.ObjLength(3, -1);
         s.ObjProgress(3, -1, 77);
       },
       3, "77", "Unknown", "Unknown", ""},
      {"released complete?", [](PatrolStatus& s) { s.ObjReleased(0, true); }, 0, "Complete", "", "",
       ""},
      {"released failed?", [](PatrolStatus& s) { s.ObjReleased(0, false); }, 0, "Failed", "", "",
       ""},
      {"handled without a download: the last row's URL?",
       [](PatrolStatus& s) { s.Handling("http://h/b.html"); }, PatrolStatus::kHandledRow, "", "",
       "", "http://h/b.html"},
  };
  CChildFrame& frame = Open("ProjectDefault\n{\n}\n");
  CDLStatView& view = frame.Status();
  for (const Case& c : cases) {
    PatrolStatus status;
    c.steps(status);
    view.Show(status);
    EXPECT_EQ(view.CellText(c.row, Column::kBytes).toStdString(), c.bytes) << c.question;
    EXPECT_EQ(view.CellText(c.row, Column::kSize).toStdString(), c.size) << c.question;
    EXPECT_EQ(view.CellText(c.row, Column::kPercent).toStdString(), c.percent) << c.question;
    EXPECT_EQ(view.CellText(c.row, Column::kUrl).toStdString(), c.url) << c.question;
  }
}

TEST_F(StatusViewTest, CountersShowTheLocalizePercentOnlyAfterTheFirstLocalizedPage) {
  CChildFrame& frame = Open("ProjectDefault\n{\n}\n");
  CDLStatView& view = frame.Status();
  PatrolStatus status;
  status.Count(PatrolStatus::kDetected);
  status.Count(PatrolStatus::kDetected);
  status.Count(PatrolStatus::kVisited, "http://h/");
  status.Count(PatrolStatus::kLocalize);
  status.Count(PatrolStatus::kLocalize);
  view.Show(status);
  EXPECT_EQ(view.CounterText(PatrolStatus::kDetected), "2");
  EXPECT_EQ(view.CounterText(PatrolStatus::kVisited), "1");
  EXPECT_EQ(view.CounterText(PatrolStatus::kRetry), "0");
  EXPECT_EQ(view.LocalizePercentText(), "") << "no page localised yet";
  status.Count(PatrolStatus::kModified);
  view.Show(status);
  EXPECT_EQ(view.CounterText(PatrolStatus::kModified), "1");
  EXPECT_EQ(view.LocalizePercentText(), "50");
  view.Reset();
  EXPECT_EQ(view.CounterText(PatrolStatus::kDetected), "0");
  EXPECT_EQ(view.LocalizePercentText(), "");
}

TEST_F(StatusViewTest, LampTurnsFromBlueThroughGreenToRed) {
  struct Case {
    int percent;
    const char* colour;  // the strongest channel
  } cases[] = {{0, "blue"}, {50, "green"}, {100, "red"}};
  CChildFrame& frame = Open("ProjectDefault\n{\n}\n");
  for (const Case& c : cases) {
    PatrolStatus status;
    status.ObjLength(1, 200);
    status.ObjProgress(1, 200, c.percent * 2);
    frame.Status().Show(status);
    const QColor colour = QColor::fromRgb(frame.Status().LampColour(1));
    const int strongest = std::max({colour.red(), colour.green(), colour.blue()});
    const char* name = strongest == colour.blue()    ? "blue"
                       : strongest == colour.green() ? "green"
                                                     : "red";
    EXPECT_STREQ(name, c.colour) << c.percent << "%";
  }
}

class StatusViewPatrolTest : public test::ProjectWindowFixture {
 protected:
  void SetUp() override {
    ProjectWindowFixture::SetUp();
    site_.Route("/index.html",
                test::SiteServer::Html("<title>Home</title><a href=a.html>a</a><a href=b.html>b</a>"
                                       "<img src=p.gif>"));
    site_.Route("/a.html", test::SiteServer::Html("a"));
    site_.Route("/b.html", test::SiteServer::Html("b"));
    site_.Route("/p.gif", test::SiteServer::Typed("image/gif", "GIF89a"));
    StartWorker();
  }
  std::string Project() const {
    return "ProjectDefault\n{\n\tAccessInterval=0\n\tGraphMax=2\n}\nRecord\n{\n\tURL=\"" +
           site_.Url("/index.html") + "\"\n}\n";
  }
  bool WaitEnd(CChildFrame& frame) {
    return test::ServeQtUntil([&] { return !frame.Patrolling(); }, 30000);
  }

  test::SiteServer site_;
};

TEST_F(StatusViewPatrolTest, F5PatrolsTheProjectAndTheStatusLineTellsTheEnd) {
  CChildFrame& frame = Open(Project());
  EXPECT_FALSE(frame.StopAction()->isEnabled());
  ASSERT_TRUE(frame.Patrol());
  EXPECT_TRUE(frame.Patrolling());
  EXPECT_FALSE(frame.PatrolAction()->isEnabled()) << "no second patrol while one runs";
  EXPECT_FALSE(frame.ResetAction()->isEnabled());
  EXPECT_TRUE(frame.StopAction()->isEnabled());
  ASSERT_TRUE(WaitEnd(frame));
  CDLStatView& view = frame.Status();
  EXPECT_EQ(view.CounterText(PatrolStatus::kVisited), "4");
  EXPECT_EQ(view.CounterText(PatrolStatus::kFailed), "0");
  EXPECT_EQ(view.StatusLine().toStdString(),
            "巡回終了  Detected 4 Retry 0 Visited 4 Failed 0 Localize 3 Modified 3");
  EXPECT_TRUE(frame.PatrolAction()->isEnabled());
  EXPECT_TRUE(frame.Doc().IsModified()) << "the item took its page's title";
  EXPECT_TRUE(frame.TitleText().endsWith("*"));
}

TEST_F(StatusViewPatrolTest, AProjectAnotherProgramPatrolsIsRefusedAndLeftAlone) {
  CChildFrame& frame = Open(Project());
  NamedMutex other(HeadlessPatrol::LockName(frame.Doc().ProjectFolder()));
  ASSERT_TRUE(other.TryLock());
  EXPECT_FALSE(frame.Patrol());
  EXPECT_FALSE(frame.ResetPatrolState());
  ASSERT_EQ(prompt_.messages.size(), 2u);
  EXPECT_EQ(prompt_.messages[0], CDLStatView::kBusyMessage);
  EXPECT_FALSE(frame.Patrolling());
  EXPECT_TRUE(site_.Requests().empty());
  other.Unlock();
  ASSERT_TRUE(frame.Patrol()) << "free again";
  ASSERT_TRUE(WaitEnd(frame));
}

TEST_F(StatusViewPatrolTest, EscStopsAndTheNextF5Resumes) {
  site_.Hold("/b.html");
  CChildFrame& frame = Open(Project());
  ASSERT_TRUE(frame.Patrol());
  ASSERT_TRUE(test::ServeQtUntil([&] { return site_.Held() == 1; }));
  ASSERT_TRUE(frame.StopAction()->isEnabled());
  frame.StopAction()->trigger();
  site_.Release("/b.html");
  ASSERT_TRUE(WaitEnd(frame));
  EXPECT_TRUE(frame.Status().StatusLine().startsWith(QString::fromUtf8("巡回中断")));

  // Resumed: the page held back is fetched and the patrol ends.
  ASSERT_TRUE(frame.Patrol());
  ASSERT_TRUE(WaitEnd(frame));
  EXPECT_TRUE(frame.Status().StatusLine().startsWith(QString::fromUtf8("巡回終了")));
  EXPECT_TRUE(test::ReadFileBytes(Mirror() + "site/127.0.0.1/b.html").size() > 0);
}

TEST_F(StatusViewPatrolTest, DeleteRemovesTheItemsSavedDataFirstThenTheItem) {
  CChildFrame& frame = Open(Project());
  ASSERT_TRUE(frame.Patrol());
  ASSERT_TRUE(WaitEnd(frame));
  const std::string stored = Mirror() + "site/127.0.0.1/index.html";
  ASSERT_FALSE(test::ReadFileBytes(stored).empty());
  const std::string url = site_.Url("/index.html");
  frame.Tree().SelectItem(frame.Doc().FindItem("site", url));
  std::vector<std::string> asked;
  frame.Tree().Ask().confirm = [&](const QString& text) {
    asked.push_back(text.toStdString());
    return true;
  };
  ASSERT_TRUE(frame.Tree().Run(TreeCommand::kDelete));
  EXPECT_NE(frame.Doc().FindItem("site", url), nullptr) << "the item waits for its data";
  ASSERT_TRUE(WaitEnd(frame));
  EXPECT_EQ(asked, (std::vector<std::string>{"保存されているデータも削除しますか？"}));
  EXPECT_EQ(frame.Doc().FindItem("site", url), nullptr);
  EXPECT_TRUE(test::ReadFileBytes(stored).empty()) << "the stored page went with it";
}

}  // namespace
}  // namespace qlm
