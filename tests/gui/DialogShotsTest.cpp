// Pictures of every dialog page, for a person to look at: each dialog is opened from the frame's
// menus (the item sheet directly), filled from settings that set every value, and every page is
// shot before and after one of its values is changed. Runs only when QLM_DIALOG_SHOTS names a
// folder for the pictures; meant for a real X server (xvfb-run with QT_QPA_PLATFORM=xcb).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/gui/CMainFrame.h"
#include "app/gui/MainFrameServices.h"
#include "app/gui/SplashWindow.h"
#include "app/gui/dialogs/CItemPropertySheet.h"
#include "app/gui/dialogs/CTimerSettingDialog.h"
#include "app/gui/dialogs/DialogKit.h"
#include "picture/display/QtMessageLoop.h"
#include "platform/Folders.h"
#include "platform/ManualClock.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "project/CSSDoc.h"
#include "tests/gui/DialogControls.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/ScriptedDialBackend.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

class DialogShotsTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("QLM_DIALOG_SHOTS");
    if (dir == nullptr || *dir == '\0') GTEST_SKIP() << "QLM_DIALOG_SHOTS is not set";
    out_ = dir;
    // Every value set, none of them at its default.
    const std::pair<AppNumber, int32_t> numbers[] = {
        {AppNumber::TimerValid, 1},       {AppNumber::UseRobotsTxt, 1},
        {AppNumber::ProxyOn, 1},          {AppNumber::ProxyPort, 3128},
        {AppNumber::UseProxyPassword, 1}, {AppNumber::AutoDialup, 1},
        {AppNumber::DialRetry, 3},        {AppNumber::PilotArea, 1},
        {AppNumber::LinkMax, 3},          {AppNumber::RenewalType, 3},
        {AppNumber::NoCache, 1},          {AppNumber::ConnectionTimeout, 30},
        {AppNumber::ReplyRcvTimeout, 40}, {AppNumber::CtlRcvTimeout, 50},
        {AppNumber::DataRcvTimeout, 70},  {AppNumber::CloseTimeout, 20},
        {AppNumber::TotalTimeout, 600},   {AppNumber::DLRetry, 2},
        {AppNumber::AccessInterval, 15},  {AppNumber::LocalizeLink, 1},
        {AppNumber::UseHttpPassword, 1},  {AppNumber::UseExtFilter, 1},
        {AppNumber::DLNoExt, 0},          {AppNumber::UseUVExtFilter, -1},
        {AppNumber::MUDrawType, 4},       {AppNumber::MUDrawSpeed, 12},
        {AppNumber::BGColor, 0x402010},   {AppNumber::MinPicWidth, 120},
        {AppNumber::MinPicHeight, 90},    {AppNumber::IMGSW, 0},
        {AppNumber::PicChgInterval, 30},  {AppNumber::PickupDisplay, 0}};
    for (const auto& [value, number] : numbers) settings_.SetStored(value, number);
    const std::pair<AppText, const char*> texts[] = {{AppText::MirrorDir, "/srv/quillmere/Mirror/"},
                                                     {AppText::PickupDir, "/srv/pics/"},
                                                     {AppText::ProxyName, "proxy.example"},
                                                     {AppText::ProxyUserID, "proxyuser"},
                                                     {AppText::ProxyPassword, "proxy-secret"},
                                                     {AppText::DialupEntry, "Office PPP"},
                                                     {AppText::Sai, "dial-secret"},
                                                     {AppText::HttpUserID, "webuser"},
                                                     {AppText::HttpPassword, "web-secret"},
                                                     {AppText::ExtHtml, "htm;html"},
                                                     {AppText::ExtText, "txt"},
                                                     {AppText::ExtImage, "jpg;jpeg;png"},
                                                     {AppText::ExtAudio, "mp3"},
                                                     {AppText::ExtVideo, "mp4"},
                                                     {AppText::ExtApplication, "pdf"},
                                                     {AppText::ExtOthers, "css;js"}};
    for (const auto& [value, text] : texts) settings_.SetStored(value, text);
    ASSERT_TRUE(settings_.Write());
    settings_.Read();
  }

  void Save(QWidget& widget, const std::string& name) {
    QApplication::processEvents();
    ASSERT_TRUE(widget.grab().save(QString::fromStdString(out_ + "/" + name + ".png")));
  }

  // Shoots every page of a sheet before and after `change` alters one value on it.
  void ShootPages(QWidget& dialog, const std::string& prefix,
                  const std::function<void(int, QWidget&)>& change) {
    auto* tabs = dialog.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setCurrentIndex(i);
      const std::string name = prefix + "-" + std::to_string(i + 1);
      Save(dialog, name + "-before");
      change(i, *tabs->widget(i));
      Save(dialog, name + "-after");
    }
  }

  // Triggers a menu command that opens a modal dialog and hands the dialog to `shoot`, which
  // closes it.
  void WithModal(QAction* command, const std::function<void(QWidget&)>& shoot) {
    ASSERT_NE(command, nullptr);
    bool seen = false;
    QTimer::singleShot(400, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (dialog == nullptr) return;
      seen = true;
      dialog->show();
      shoot(*dialog);
      dialog->close();
    });
    command->trigger();
    EXPECT_TRUE(seen);
  }

  static QAction* Command(QMenuBar& bar, const char* text) {
    for (QAction* menu : bar.actions()) {
      if (!menu->menu()) continue;
      for (QAction* action : menu->menu()->actions()) {
        if (action->text() == Utf8(text)) return action;
      }
    }
    ADD_FAILURE() << "no command " << text;
    return nullptr;
  }

  std::string out_;
  ManualClock clock_;
  QtMessageLoop loop_{clock_};
  test::TempDir dir_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  CSSDoc slides_;
  test::ScriptedPrompt prompt_;
};

// Changes the first value of a page that a user would: a check box flipped or a number raised.
void ChangeSomething(int, QWidget& page) {
  for (auto* box : page.findChildren<QCheckBox*>()) {
    if (box->isEnabled() && box->text() != Utf8("継承")) {
      box->toggle();
      return;
    }
  }
  for (auto* inherit : page.findChildren<QCheckBox*>()) {
    if (inherit->isEnabled()) {
      inherit->toggle();
      return;
    }
  }
}

TEST_F(DialogShotsTest, EveryPageBeforeAndAfterAChange) {
  CMainFrame frame(settings_, slides_, prompt_);
  ASSERT_TRUE(frame.Create());
  frame.show();
  Save(frame, "frame");

  // The sheet gets the entries of this test's back end through its own.
  auto backend = std::make_unique<test::ScriptedDialBackend>();
  backend->SetEntries({"Office PPP", "Mobile", "Hotel Wi-Fi"});
  backend->SetSavedParams("Office PPP", "dialuser", "");
  frame.Services().SetDialBackend(std::move(backend));
  WithModal(Command(*frame.menuBar(), "Quillmere の設定(&O)..."),
            [&](QWidget& sheet) { ShootPages(sheet, "settings", ChangeSomething); });

  // An item with a timer and a slide-show entry, and a few more timers for the list.
  CQLMDoc doc(settings_, prompt_);
  ASSERT_TRUE(doc.New("Shots"));
  ASSERT_TRUE(doc.Save(dir_.File("Shots.prj")));
  auto folder = std::make_unique<ProjectItem>(ProjectItem::kFolder);
  folder->SetTitle("News");
  folder->SetOwn(ItemOption::ConnectionTimeout, 25);
  ProjectItem* news = doc.Root().AppendChild(std::move(folder));
  auto record = std::make_unique<ProjectItem>(ProjectItem::kRecord);
  record->SetURL("http://127.0.0.1:8080/news/");
  ProjectItem* item = news->AppendChild(std::move(record));
  const TimerKind kinds[] = {TimerKind::kMonthly, TimerKind::kWeekly, TimerKind::kDaily,
                             TimerKind::kInterval};
  for (TimerKind kind : kinds) {
    TimerEntry timer;
    timer.file = doc.PathName();
    timer.folder = "Shots/News";
    timer.url = kind == TimerKind::kDaily ? "http://127.0.0.1:8080/news/" : "";
    timer.kind = kind;
    timer.start_enabled = true;
    timer.end_enabled = kind != TimerKind::kMonthly;
    timer.start_day = 12;
    timer.start_weekday = 4;
    timer.start_hour = 22;
    timer.start_minute = 30;
    timer.interval_period = 120;
    timer.end_day = 13;
    timer.end_weekday = 5;
    timer.end_hour = 6;
    timer.end_minute = 0;
    timer.duration = 45;
    if (kind == TimerKind::kWeekly) timer.folder = "Shots/Weekly " + std::to_string(int(kind));
    if (kind == TimerKind::kInterval) timer.folder = "Shots/Interval";
    if (kind == TimerKind::kMonthly) timer.folder = "Shots/Monthly";
    frame.Timers().Add(timer);
  }
  SlideEntry entry = SlideEntry::FromItem(*item, doc.PathName(), doc.Defaults(), {});
  entry.display.pic_chg_interval = 20;
  entry.display.bg_color = 0x203040;
  {
    std::lock_guard lock(slides_.Mutex());
    slides_.Append(entry);
  }
  CItemPropertySheet sheet(*item, doc, frame.Timers(), slides_, &frame);
  sheet.show();
  ShootPages(sheet, "item", ChangeSomething);
  sheet.reject();

  WithModal(Command(*frame.menuBar(), "タイマーの一覧"), [&](QWidget& dialog) {
    Save(dialog, "timer-list-before");
    dialog.findChild<QTreeWidget*>()->setCurrentItem(
        dialog.findChild<QTreeWidget*>()->topLevelItem(1));
    Save(dialog, "timer-list-after");
    // "設定変更" on the weekly timer, then the kind switched to an interval.
    CTimerSettingDialog setting(*frame.Timers().Entries()[1], &dialog);
    setting.show();
    Save(setting, "timer-setting-before");
    test::On<QRadioButton>(setting, 1057).setChecked(true);
    Save(setting, "timer-setting-after");
  });
  WithModal(Command(*frame.menuBar(), "スライドショウ一覧"),
            [&](QWidget& dialog) { Save(dialog, "slide-list"); });
  auto* splash = new SplashWindow;
  splash->Start();
  Save(*splash, "splash");
  splash->close();
  frame.Destroy();
}

}  // namespace
}  // namespace qlm
