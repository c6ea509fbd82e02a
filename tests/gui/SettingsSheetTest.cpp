// The settings sheet on the offscreen platform: each page's enable rules, the "継承" boxes, the
// dial-up page against a scripted back end, and what OK and Cancel leave in the settings file.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <string>
#include <vector>

#include "app/gui/dialogs/CQLMPropertyPage1.h"
#include "app/gui/dialogs/CQLMPropertyPage2.h"
#include "app/gui/dialogs/CQLMPropertySheet.h"
#include "app/gui/dialogs/DialogKit.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "project/Scramble.h"
#include "tests/gui/DialogControls.h"
#include "tests/support/ScriptedDialBackend.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::On;

class SettingsSheetTest : public testing::Test {
 protected:
  std::string IniPath() const { return dir_.File("settings.ini"); }
  int32_t Written(std::string_view name) const {
    return Profile(IniPath()).GetProfileInt(AppSettings::kSection, name, -999);
  }
  std::string WrittenText(std::string_view name) const {
    return Profile(IniPath()).GetProfileString(AppSettings::kSection, name, "<absent>");
  }
  // The page with the given tab title.
  QWidget& Page(CQLMPropertySheet& sheet, const char* title) {
    for (int i = 0; i < sheet.Tabs().count(); ++i) {
      if (sheet.Tabs().tabText(i) == Utf8(title)) return *sheet.Tabs().widget(i);
    }
    ADD_FAILURE() << "no page " << title;
    return sheet;
  }

  test::TempDir dir_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  test::ScriptedDialBackend backend_;
};

TEST_F(SettingsSheetTest, ConnectionPageEnablesItsFieldsByItsThreeBoxes) {
  struct Row {
    const char* question;
    bool proxy, password, dialup, editor;
    // 1027 1028 1153 1151 1152 1090 1088 1089
    std::vector<bool> enabled;
  };
  const Row rows[] = {
      {"Proxy off, password on: are the proxy user fields disabled?",
       false,
       true,
       false,
       true,
       {false, false, false, false, false, false, false, false}},
      {"Proxy on, password off: server and port only?",
       true,
       false,
       false,
       true,
       {true, true, true, false, false, false, false, false}},
      {"Proxy on, password on: all proxy fields?",
       true,
       true,
       false,
       true,
       {true, true, true, true, true, false, false, false}},
      {"Dial-up on: the entry with both buttons?",
       false,
       false,
       true,
       true,
       {false, false, false, false, false, true, true, true}},
      {"Dial-up on without a connection editor: is 接続プロパティ off?",
       false,
       false,
       true,
       false,
       {false, false, false, false, false, true, false, true}},
  };
  const int ids[] = {1027, 1028, 1153, 1151, 1152, 1090, 1088, 1089};
  for (const Row& row : rows) {
    settings_.SetStored(AppNumber::ProxyOn, row.proxy);
    settings_.SetStored(AppNumber::UseProxyPassword, row.password);
    settings_.SetStored(AppNumber::AutoDialup, row.dialup);
    CQLMPropertySheet sheet(settings_, backend_);
    CQLMPropertyPage2& page = sheet.Connection();
    if (row.editor) {
      page.SetEntryEditor([](const std::string&) { return true; });
    } else {
      page.SetEntryEditor(nullptr);
    }
    for (std::size_t i = 0; i < std::size(ids); ++i) {
      EXPECT_EQ(Control<QWidget>(page, ids[i])->isEnabled(), row.enabled[i])
          << row.question << " (control " << ids[i] << ")";
    }
  }
  // Clicking applies the same rule: "Proxy" on enables the user fields while the password is on.
  settings_.SetStored(AppNumber::ProxyOn, 0);
  settings_.SetStored(AppNumber::UseProxyPassword, 1);
  CQLMPropertySheet sheet(settings_, backend_);
  On<QCheckBox>(sheet.Connection(), 1031).setChecked(true);
  EXPECT_TRUE(Control<QWidget>(sheet.Connection(), 1151)->isEnabled());
  EXPECT_TRUE(Control<QWidget>(sheet.Connection(), 1152)->isEnabled());
}

TEST_F(SettingsSheetTest, ExtensionPageEnablesTheListsByTheFilterAndTheInheritBox) {
  struct Row {
    const char* question;
    int32_t flag;         // stored UseExtFilter
    bool check_inherit;   // the user then checks or unchecks "継承"
    bool filter_enabled;  // 1039
    bool lists_enabled;   // 1049 .. 1116 and 1117
  };
  const Row rows[] = {
      {"Filter unset: is the whole group inherited and disabled?", -1, true, false, false},
      {"Filter unset, 継承 unchecked: filter box on, lists off (built-in filter is off)?", -1,
       false, true, false},
      {"Filter on: lists enabled?", 1, false, true, true},
      {"Filter off: lists disabled, the filter box enabled?", 0, false, true, false},
      {"Filter on, 継承 checked: all disabled?", 1, true, false, false},
  };
  for (const Row& row : rows) {
    settings_.SetStored(AppNumber::UseExtFilter, row.flag);
    CQLMPropertySheet sheet(settings_, backend_);
    QWidget& page = Page(sheet, "ﾀﾞｳﾝﾛｰﾄﾞするﾌｧｲﾙの拡張子");
    On<QCheckBox>(page, 1038).setChecked(row.check_inherit);
    EXPECT_EQ(Control<QWidget>(page, 1039)->isEnabled(), row.filter_enabled) << row.question;
    for (int id : {1049, 1050, 1048, 1047, 1046, 1115, 1116, 1117}) {
      EXPECT_EQ(Control<QWidget>(page, id)->isEnabled(), row.lists_enabled)
          << row.question << " (control " << id << ")";
    }
  }
}

TEST_F(SettingsSheetTest, InheritBoxShowsTheBuiltInValueDisabledAndRecomputesWhenCheckedAgain) {
  settings_.SetStored(AppNumber::ConnectionTimeout, -1);
  settings_.SetStored(AppNumber::UseExtFilter, -1);
  settings_.SetStored(AppText::ExtImage, "png");  // not used while the group is unset
  CQLMPropertySheet sheet(settings_, backend_);
  QWidget& patrol = Page(sheet, "巡回");
  auto& timeout = On<QSpinBox>(patrol, 1067);
  auto& inherit = On<QCheckBox>(patrol, 1079);
  EXPECT_TRUE(inherit.isChecked());
  EXPECT_EQ(timeout.value(), 60);
  EXPECT_FALSE(timeout.isEnabled());

  inherit.setChecked(false);  // the shown value is the starting point
  EXPECT_TRUE(timeout.isEnabled());
  EXPECT_EQ(timeout.value(), 60);
  timeout.setValue(90);
  inherit.setChecked(true);  // recomputed
  EXPECT_EQ(timeout.value(), 60);
  EXPECT_FALSE(timeout.isEnabled());

  QWidget& extensions = Page(sheet, "ﾀﾞｳﾝﾛｰﾄﾞするﾌｧｲﾙの拡張子");
  EXPECT_EQ(On<QLineEdit>(extensions, 1048).text().toStdString(), "gif;jpg;jpeg;bmp");
  EXPECT_EQ(On<QLineEdit>(extensions, 1047).text().toStdString(), "wav;aif,mid");
  EXPECT_TRUE(On<QCheckBox>(extensions, 1117).isChecked());
}

TEST_F(SettingsSheetTest, OkForcesRangesMakesFoldersAndScramblesPasswords) {
  settings_.SetStored(AppNumber::LinkMax, 4);
  settings_.SetStored(AppText::TlsCAFile, "/etc/old-ca.pem");
  CQLMPropertySheet sheet(settings_, backend_);
  // The authority file's picker starts at the stored file; what it picks is written.
  std::string picker_title;
  QString picker_start;
  sheet.Connection().SetFilePicker([&](const char* title, const QString& start) {
    picker_title = title;
    picker_start = start;
    return std::optional<QString>("/etc/company-ca.pem");
  });
  On<QPushButton>(sheet.Connection(), 1155).click();
  EXPECT_EQ(picker_title, "認証局の証明書ファイル選択");
  EXPECT_EQ(picker_start, "/etc/old-ca.pem");
  QWidget& folders = Page(sheet, "フォルダ他");
  On<QLineEdit>(folders, 1032).setText("\\srv\\mirror");
  On<QCheckBox>(folders, 1038).setChecked(false);
  QWidget& connection = Page(sheet, "接続");
  On<QCheckBox>(connection, 1031).setChecked(true);
  On<QCheckBox>(connection, 1153).setChecked(true);
  On<QLineEdit>(connection, 1152).setText("pro:xy");
  On<QSpinBox>(connection, 1099).setValue(9);
  QWidget& patrol = Page(sheet, "巡回");
  On<QCheckBox>(patrol, 1079).setChecked(false);
  On<QSpinBox>(patrol, 1067).setValue(7000);
  On<QCheckBox>(patrol, 1148).setChecked(false);
  On<QSpinBox>(patrol, 1041).setValue(1);
  On<QCheckBox>(patrol, 1076).setChecked(true);  // LinkMax back to the built-in value
  On<QCheckBox>(patrol, 1077).setChecked(false);
  On<QRadioButton>(patrol, 1073).setChecked(true);
  QWidget& show = Page(sheet, "ｽﾗｲﾄﾞｼｮｳの設定");
  On<QSpinBox>(show, 1042).setValue(2);
  On<QComboBox>(show, 1119).setCurrentIndex(10);
  On<QRadioButton>(show, 1040).setChecked(true);

  ASSERT_TRUE(sheet.Apply());
  EXPECT_EQ(WrittenText("MirrorDir"), "/srv/mirror/");
  EXPECT_EQ(Written("TimerValid"), 0);
  EXPECT_EQ(Written("DialRetry"), 5);
  EXPECT_EQ(Written("ConnectionTimeout"), 3600);
  EXPECT_EQ(Written("AccessInterval"), 3);
  EXPECT_EQ(Written("LinkMax"), -1);
  EXPECT_EQ(settings_.Number(AppNumber::LinkMax), 0);
  EXPECT_EQ(Written("PilotArea"), 2);
  EXPECT_EQ(Written("PicChgInterval"), 5);
  EXPECT_EQ(Written("MUDrawType"), 10);
  EXPECT_EQ(Written("PickupDisplay"), 2);
  EXPECT_EQ(WrittenText("TlsCAFile"), "/etc/company-ca.pem");
  EXPECT_EQ(WrittenText("ProxyPassword"), Scramble("pro:xy"));
  EXPECT_NE(WrittenText("ProxyPassword"), "pro:xy");
  EXPECT_EQ(settings_.Stored(AppText::ProxyPassword), "pro:xy");
}

TEST_F(SettingsSheetTest, NoEntryChosenStaysNoneAndAnUnlistedOneIsKept) {
  backend_.SetEntries({"first", "second"});
  struct Row {
    const char* question;
    const char* stored;
    int listed;
  };
  const Row rows[] = {{"Empty (the default connection): still empty after OK?", "", 2},
                      {"Not listed now: kept rather than lost?", "gone", 3},
                      {"Listed: chosen?", "second", 2}};
  for (const Row& row : rows) {
    settings_.SetStored(AppText::DialupEntry, row.stored);
    CQLMPropertySheet sheet(settings_, backend_);
    EXPECT_EQ(On<QComboBox>(sheet.Connection(), 1090).count(), row.listed) << row.question;
    ASSERT_TRUE(sheet.Apply());
    EXPECT_EQ(WrittenText("DialupEntry"), row.stored) << row.question;
  }
}

TEST_F(SettingsSheetTest, CancelWritesNothing) {
  ASSERT_TRUE(settings_.Write());
  const std::string before = test::ReadFileBytes(IniPath());
  {
    CQLMPropertySheet sheet(settings_, backend_);
    On<QSpinBox>(Page(sheet, "接続"), 1099).setValue(4);
    On<QLineEdit>(Page(sheet, "フォルダ他"), 1032).setText("/elsewhere");
    sheet.reject();
  }
  EXPECT_EQ(test::ReadFileBytes(IniPath()), before);
  EXPECT_EQ(settings_.Stored(AppNumber::DialRetry), 2);
}

TEST_F(SettingsSheetTest, FolderPickersHaveTheirTitlesAndCancelKeepsTheField) {
  CQLMPropertySheet sheet(settings_, backend_);
  std::vector<std::string> titles;
  bool cancel = false;
  sheet.Folders().SetFolderPicker([&](const char* title, const QString&) -> std::optional<QString> {
    titles.emplace_back(title);
    if (cancel) return std::nullopt;
    return QString("/picked");
  });
  QWidget& page = Page(sheet, "フォルダ他");
  On<QPushButton>(page, 1146).click();
  On<QPushButton>(page, 1147).click();
  EXPECT_EQ(titles, (std::vector<std::string>{"ミラーファイル保存フォルダ選択",
                                              "ピックアップ・ファイル保存フォルダ選択"}));
  EXPECT_EQ(On<QLineEdit>(page, 1032).text(), "/picked");
  On<QLineEdit>(page, 1033).setText("/kept");
  cancel = true;
  On<QPushButton>(page, 1147).click();
  EXPECT_EQ(On<QLineEdit>(page, 1033).text(), "/kept");
}

TEST_F(SettingsSheetTest, DialupEntriesAreAllListedAndLogonGoesThroughTheBackEnd) {
  std::vector<std::string> entries;
  for (int i = 0; i < 130; ++i) entries.push_back("entry " + std::to_string(i));
  backend_.SetEntries(entries);
  backend_.SetSavedParams("entry 7", "me", "");
  settings_.SetStored(AppText::DialupEntry, "entry 7");
  settings_.SetStored(AppText::Sai, "stored-pw");
  settings_.SetStored(AppNumber::AutoDialup, 1);
  CQLMPropertySheet sheet(settings_, backend_);
  CQLMPropertyPage2& page = sheet.Connection();
  EXPECT_EQ(On<QComboBox>(page, 1090).count(), 130);
  EXPECT_EQ(On<QComboBox>(page, 1090).currentText(), "entry 7");

  struct Step {
    const char* question;
    CQLMPropertyPage2::Logon expect_shown;
    std::optional<CQLMPropertyPage2::Logon> entered;  // nothing: the user cancels
    std::string sai_after;
    std::string saved_password_after;
  };
  const Step steps[] = {
      {"Nothing saved: is the stored password shown, unchecked?",
       {"me", "stored-pw", false},
       CQLMPropertyPage2::Logon{"you", "new-pw", true},
       "new-pw",
       "new-pw"},
      {"Saved: shown checked; unchecking removes it everywhere?",
       {"you", "new-pw", true},
       CQLMPropertyPage2::Logon{"you", "gone", false},
       "",
       ""},
      {"Cancel changes nothing?", {"you", "", false}, std::nullopt, "", ""},
  };
  for (const Step& step : steps) {
    CQLMPropertyPage2::Logon shown;
    page.SetLogonAsker([&](const CQLMPropertyPage2::Logon& logon) {
      shown = logon;
      return step.entered;
    });
    On<QPushButton>(page, 1089).click();
    EXPECT_EQ(shown.user, step.expect_shown.user) << step.question;
    EXPECT_EQ(shown.password, step.expect_shown.password) << step.question;
    EXPECT_EQ(shown.save_password, step.expect_shown.save_password) << step.question;
    DialParams saved{"entry 7", "", ""};
    backend_.GetEntryDialParams(&saved);
    EXPECT_EQ(saved.password, step.saved_password_after) << step.question;
    ASSERT_TRUE(sheet.Apply());
    EXPECT_EQ(settings_.Stored(AppText::Sai), step.sai_after) << step.question;
  }
}

}  // namespace
}  // namespace qlm
