// The item property sheet and the two list dialogs on the offscreen platform: the timer fields'
// enable table, the item's "継承" boxes, what OK leaves in the item and in both list files, and
// the list dialogs' rows, removal and editing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/dialogs/CItemPropertySheet.h"
#include "app/gui/dialogs/CSlideListDialog.h"
#include "app/gui/dialogs/CTimerListDialog.h"
#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/TimerFieldsBox.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "project/CSSDoc.h"
#include "project/CTimerDoc.h"
#include "project/ProjectItem.h"
#include "tests/gui/DialogControls.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::On;

class ItemSheetTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(doc_.New("proj"));
    ASSERT_TRUE(doc_.Save(dir_.File("proj.prj")));
    auto folder = std::make_unique<ProjectItem>(ProjectItem::kFolder);
    folder->SetTitle("Site");
    folder->SetOwn(ItemOption::ConnectionTimeout, 30);
    folder_ = doc_.Root().AppendChild(std::move(folder));
    auto record = std::make_unique<ProjectItem>(ProjectItem::kRecord);
    record->SetURL("http://127.0.0.1/a/");
    record_ = folder_->AppendChild(std::move(record));
  }

  std::string Install() const { return dir_.Path() + "/"; }
  std::string TimerFile() const { return test::ReadFileBytes(CTimerDoc::ListPath(Install())); }
  std::string SlideFile() const { return test::ReadFileBytes(CSSDoc::ListPath(Install())); }
  QWidget& Page(CItemPropertySheet& sheet, int index) { return *sheet.Tabs().widget(index); }

  test::TempDir dir_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  test::ScriptedPrompt prompt_;
  CQLMDoc doc_{settings_, prompt_};
  CTimerDoc timers_;
  CSSDoc slides_;
  ProjectItem* folder_ = nullptr;
  ProjectItem* record_ = nullptr;
};

TEST(TimerFieldsTest, FieldsFollowTheKindAndTheTwoSwitches) {
  // Day, weekday, hour, minute, interval; then the same for the end with the duration.
  const int start_ids[] = {1058, 1056, 1059, 1060, 1061};
  const int end_ids[] = {1070, 1071, 1072, 1073, 1074};
  struct Row {
    const char* question;
    int kind_id;
    bool start, end;
    std::vector<bool> start_fields;  // by start_ids
    std::vector<bool> end_fields;    // by end_ids
    bool kind_and_selected;
  };
  const Row rows[] = {
      {"毎月, both on: day, hour and minute on both sides?",
       1053,
       true,
       true,
       {true, false, true, true, false},
       {true, false, true, true, false},
       true},
      {"毎週, start only: weekday, hour, minute; end all off?",
       1055,
       true,
       false,
       {false, true, true, true, false},
       {false, false, false, false, false},
       true},
      {"毎日, end only: hour and minute of the end?",
       1045,
       false,
       true,
       {false, false, false, false, false},
       {false, false, true, true, false},
       true},
      {"インターバル指定, both on: interval and duration only?",
       1057,
       true,
       true,
       {false, false, false, false, true},
       {false, false, false, false, true},
       true},
      {"Both off: the kinds and 1063 disabled too?",
       1053,
       false,
       false,
       {false, false, false, false, false},
       {false, false, false, false, false},
       false},
  };
  for (const Row& row : rows) {
    TimerFieldsBox box;
    On<QRadioButton>(box, row.kind_id).setChecked(true);
    On<QCheckBox>(box, 1062).setChecked(row.start);
    On<QCheckBox>(box, 1064).setChecked(row.end);
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(Control<QWidget>(box, start_ids[i])->isEnabled(), row.start_fields[i])
          << row.question << " (control " << start_ids[i] << ")";
      EXPECT_EQ(Control<QWidget>(box, end_ids[i])->isEnabled(), row.end_fields[i])
          << row.question << " (control " << end_ids[i] << ")";
    }
    for (int id : {1053, 1055, 1045, 1057, 1063}) {
      EXPECT_EQ(Control<QWidget>(box, id)->isEnabled(), row.kind_and_selected)
          << row.question << " (control " << id << ")";
    }
  }
}

TEST_F(ItemSheetTest, UnsetValuesShowWhatTheParentsGiveDisabled) {
  CItemPropertySheet sheet(*record_, doc_, timers_, slides_);
  QWidget& patrol = Page(sheet, 1);
  EXPECT_EQ(sheet.Tabs().tabText(1), Utf8("巡回"));
  struct Row {
    const char* question;
    int field, inherit;
    int shown;
  };
  const Row rows[] = {
      {"Connection timeout set on the folder: 30 from there?", 1067, 1079, 30},
      {"Reply timeout set nowhere: the application's 60?", 1075, 1084, 60},
      {"Access interval set nowhere: 10?", 1041, 1148, 10},
  };
  for (const Row& row : rows) {
    EXPECT_TRUE(On<QCheckBox>(patrol, row.inherit).isChecked()) << row.question;
    EXPECT_EQ(On<QSpinBox>(patrol, row.field).value(), row.shown) << row.question;
    EXPECT_FALSE(On<QSpinBox>(patrol, row.field).isEnabled()) << row.question;
  }
  // The download filter comes whole from the folder that sets it; the other one from the
  // application, whose built-in filter is off.
  folder_->SetOwn(ItemOption::UseExtFilter, 1);
  folder_->SetOwnString(ItemString::ExtImage, "png");
  CItemPropertySheet filtered(*record_, doc_, timers_, slides_);
  QWidget& download = Page(filtered, 2);
  EXPECT_TRUE(On<QCheckBox>(download, 1038).isChecked());
  EXPECT_TRUE(On<QCheckBox>(download, 1039).isChecked());
  EXPECT_FALSE(On<QCheckBox>(download, 1039).isEnabled());
  EXPECT_EQ(On<QLineEdit>(download, 1048).text().toStdString(), "png");
  QWidget& exclude = Page(filtered, 3);
  EXPECT_FALSE(On<QCheckBox>(exclude, 1039).isChecked());
  On<QCheckBox>(download, 1038).setChecked(false);  // own filter, starting from the folder's
  EXPECT_TRUE(On<QLineEdit>(download, 1048).isEnabled());
  ASSERT_TRUE(filtered.Apply());
  EXPECT_EQ(record_->Own(ItemOption::UseExtFilter), 1);
  EXPECT_EQ(record_->OwnString(ItemString::ExtImage), "png");

  // Unchecked, edited, checked again: the folder's value comes back.
  On<QCheckBox>(patrol, 1079).setChecked(false);
  On<QSpinBox>(patrol, 1067).setValue(5);
  On<QCheckBox>(patrol, 1079).setChecked(true);
  EXPECT_EQ(On<QSpinBox>(patrol, 1067).value(), 30);
}

TEST_F(ItemSheetTest, OkUpdatesTheItemAndWritesTheTimerAndTheSlideShowEntry) {
  {
    CItemPropertySheet sheet(*record_, doc_, timers_, slides_);
    QWidget& item = Page(sheet, 0);
    On<QRadioButton>(item, 1093).setChecked(true);
    On<QRadioButton>(item, 1045).setChecked(true);  // daily
    On<QCheckBox>(item, 1062).setChecked(true);
    On<QSpinBox>(item, 1059).setValue(6);
    On<QSpinBox>(item, 1060).setValue(75);  // forced to 59
    On<QCheckBox>(item, 1063).setChecked(true);
    On<QCheckBox>(item, 1120).setChecked(true);
    On<QSpinBox>(item, 1042).setValue(2);  // forced to 5
    On<QComboBox>(item, 1119).setCurrentIndex(3);
    QWidget& patrol = Page(sheet, 1);
    On<QCheckBox>(patrol, 1148).setChecked(false);
    On<QSpinBox>(patrol, 1041).setValue(1);  // forced to 3
    ASSERT_TRUE(sheet.Apply());
  }
  EXPECT_EQ(record_->Own(ItemOption::PilotType), kPilotSelected);
  EXPECT_EQ(record_->Own(ItemOption::AccessInterval), 3);
  EXPECT_EQ(record_->Own(ItemOption::ConnectionTimeout), kUnset);
  EXPECT_TRUE(doc_.IsModified());
  const std::string prj = dir_.File("proj.prj");
  EXPECT_EQ(TimerFile(),
            prj + "|proj/Site|http://127.0.0.1/a/||Daily|06:59:1|Selected|00:00:0\r\n");
  EXPECT_EQ(SlideFile(), prj + "|proj/Site|http://127.0.0.1/a/||0|3|5|0|0|0|1|5\r\n");

  // Opened again the sheet shows what was stored; switching both off empties both files.
  CItemPropertySheet again(*record_, doc_, timers_, slides_);
  QWidget& item = Page(again, 0);
  EXPECT_TRUE(On<QRadioButton>(item, 1045).isChecked());
  EXPECT_EQ(On<QSpinBox>(item, 1059).value(), 6);
  EXPECT_EQ(On<QComboBox>(item, 1119).currentIndex(), 3);
  On<QCheckBox>(item, 1062).setChecked(false);
  On<QCheckBox>(item, 1120).setChecked(false);
  ASSERT_TRUE(again.Apply());
  EXPECT_EQ(TimerFile(), "");
  EXPECT_EQ(SlideFile(), "");
  EXPECT_EQ(timers_.Count(), 0u);
}

TEST_F(ItemSheetTest, RenamingAFolderTakesTheTimersAndEntriesBelowItAlong) {
  const std::string prj = dir_.File("proj.prj");
  TimerEntry timer;
  timer.file = prj;
  timer.folder = "proj/Site";
  timer.url = "http://127.0.0.1/a/";
  timer.kind = TimerKind::kDaily;
  timer.start_enabled = true;
  timers_.Add(timer);
  timer.folder = "proj/Sitemap";  // another folder whose path merely starts alike
  timers_.Add(timer);
  SlideEntry entry;
  entry.file = prj;
  entry.folder = "proj/Site";
  {
    std::lock_guard lock(slides_.Mutex());
    slides_.Append(entry);
  }
  CItemPropertySheet sheet(*folder_, doc_, timers_, slides_);
  On<QLineEdit>(Page(sheet, 0), 1094).setText("News");
  ASSERT_TRUE(sheet.Apply());
  EXPECT_EQ(folder_->Title(), "News");
  EXPECT_NE(timers_.Find(prj, "proj/News", "http://127.0.0.1/a/"), nullptr);
  EXPECT_NE(timers_.Find(prj, "proj/Sitemap", "http://127.0.0.1/a/"), nullptr);
  std::lock_guard lock(slides_.Mutex());
  EXPECT_NE(slides_.Find(prj, "proj/News", ""), nullptr);
}

TEST_F(ItemSheetTest, CancelChangesNothing) {
  {
    CItemPropertySheet sheet(*record_, doc_, timers_, slides_);
    On<QCheckBox>(Page(sheet, 0), 1062).setChecked(true);
    On<QCheckBox>(Page(sheet, 0), 1120).setChecked(true);
    On<QCheckBox>(Page(sheet, 1), 1079).setChecked(false);
    sheet.reject();
  }
  EXPECT_EQ(timers_.Count(), 0u);
  EXPECT_EQ(slides_.Count(), 0u);
  EXPECT_EQ(record_->Own(ItemOption::ConnectionTimeout), kUnset);
  EXPECT_FALSE(doc_.IsModified());
}

TEST_F(ItemSheetTest, AProjectWithoutAFileGetsNoTimerAndNoSlideShowEntry) {
  CQLMDoc unsaved(settings_, prompt_);
  ASSERT_TRUE(unsaved.New("fresh"));
  ProjectItem& root = unsaved.Root();
  struct Row {
    const char* question;
    bool timer, show;
    bool applied;
  };
  const Row rows[] = {{"Timer asked for: refused, nothing changed?", true, false, false},
                      {"Slide show asked for: refused?", false, true, false},
                      {"Neither: the item's own values are stored?", false, false, true}};
  for (const Row& row : rows) {
    CItemPropertySheet sheet(root, unsaved, timers_, slides_);
    On<QCheckBox>(Page(sheet, 0), 1062).setChecked(row.timer);
    On<QCheckBox>(Page(sheet, 0), 1120).setChecked(row.show);
    On<QCheckBox>(Page(sheet, 1), 1084).setChecked(false);
    On<QSpinBox>(Page(sheet, 1), 1075).setValue(45);
    EXPECT_EQ(sheet.Apply(), row.applied) << row.question;
    EXPECT_EQ(root.Own(ItemOption::ReplyRcvTimeout), row.applied ? 45 : kUnset) << row.question;
    EXPECT_EQ(timers_.Count() + slides_.Count(), 0u) << row.question;
  }
}

TimerEntry Timer(TimerKind kind, const std::string& folder) {
  TimerEntry entry;
  entry.file = "/p/x.prj";
  entry.folder = folder;
  entry.kind = kind;
  entry.start_enabled = true;
  entry.start_day = 5;
  entry.start_weekday = 2;
  entry.start_hour = 6;
  entry.start_minute = 7;
  entry.interval_period = 30;
  entry.duration = 20;
  return entry;
}

TEST_F(ItemSheetTest, TimerListShowsEachKindAndSavesWhenItCloses) {
  struct Row {
    const char* question;
    TimerKind kind;
    const char* setting;
  };
  const Row rows[] = {{"Monthly: day and time?", TimerKind::kMonthly, "05 06:07"},
                      {"Weekly: weekday name and time?", TimerKind::kWeekly, "Wed 06:07"},
                      {"Daily: the time only?", TimerKind::kDaily, "06:07"},
                      {"Interval: lead and period?", TimerKind::kInterval, "0 30"}};
  for (const Row& row : rows) timers_.Add(Timer(row.kind, row.question));
  int closed = 0;
  CTimerListDialog dialog(timers_, Install());
  dialog.SetOnClosed([&] { ++closed; });
  QTreeWidget& list = dialog.List();
  ASSERT_EQ(list.topLevelItemCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(list.topLevelItem(i)->text(0).toStdString(), rows[i].setting) << rows[i].question;
    EXPECT_EQ(list.topLevelItem(i)->text(1).toStdString(), rows[i].question);
    EXPECT_EQ(list.topLevelItem(i)->text(4).toStdString(), "/p/x.prj");
  }
  EXPECT_EQ(list.columnWidth(2), 280);

  // "設定変更" on the daily timer: an hour of 99 is stored as 23.
  list.setCurrentItem(list.topLevelItem(2));
  dialog.SetEditor([](TimerEntry& entry) {
    entry.start_hour = 99;
    entry.ForceRanges();
    return true;
  });
  ASSERT_TRUE(dialog.EditSelected());
  EXPECT_EQ(list.topLevelItem(2)->text(0).toStdString(), "23:07");
  list.setCurrentItem(list.topLevelItem(0));
  ASSERT_TRUE(dialog.RemoveSelected());
  EXPECT_EQ(timers_.Count(), 3u);
  dialog.accept();
  EXPECT_EQ(closed, 1);
  const std::string file = TimerFile();
  EXPECT_EQ(file.find("Monthly"), std::string::npos);
  EXPECT_NE(file.find("|Daily|23:07:1|"), std::string::npos);
}

TEST_F(ItemSheetTest, SlideListEditsDisplayValuesWithinTheirRanges) {
  SlideEntry entry;
  entry.file = "/p/x.prj";
  entry.folder = "x/f";
  entry.url = "http://h/";
  entry.display.pic_chg_interval = 30;
  {
    std::lock_guard lock(slides_.Mutex());
    slides_.Append(entry);
    entry.url.clear();
    slides_.Append(entry);
  }
  CSlideListDialog dialog(slides_, Install());
  QTreeWidget& list = dialog.List();
  ASSERT_EQ(list.topLevelItemCount(), 2);
  EXPECT_EQ(list.topLevelItem(0)->text(1).toStdString(), "http://h/");
  EXPECT_EQ(list.topLevelItem(1)->text(0).toStdString(), "x/f");
  dialog.SetEditor([](const SlideDisplay& shown) -> std::optional<SlideDisplay> {
    EXPECT_EQ(shown.pic_chg_interval, 30);
    SlideDisplay edited = shown;
    edited.min_pic_width = 5000;
    edited.draw_speed = 500;
    return edited;
  });
  ASSERT_TRUE(dialog.EditSelected());
  list.setCurrentItem(list.topLevelItem(1));
  ASSERT_TRUE(dialog.RemoveSelected());
  dialog.accept();
  EXPECT_EQ(SlideFile(), "/p/x.prj|x/f|http://h/||0|0|100|0|640|0|0|30\r\n");
}

}  // namespace
}  // namespace qlm
