// The timer list file: its reading rules, its written form, and the list document around it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "project/CTimerDoc.h"
#include "project/DialupSettings.h"
#include "project/TimerListReader.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

TimerEntry Entry(std::string file, std::string folder, std::string url, std::string title,
                 TimerKind kind) {
  TimerEntry e;
  e.file = std::move(file);
  e.folder = std::move(folder);
  e.url = std::move(url);
  e.title = std::move(title);
  e.kind = kind;
  return e;
}

class TimerListFileTest : public testing::Test {
 protected:
  TimerListFileTest() {
    project_ = dir_.File("site.prj");
    other_ = dir_.File("other.prj");
    WriteFileBytes(project_, "project");
    WriteFileBytes(other_, "project");
  }

  std::vector<TimerEntry> Read(const std::string& bytes) const {
    return TimerListReader(bytes).ReadAll();
  }
  // A line for the test project with the given tail after the Title field.
  std::string Line(const std::string& tail, const std::string& file = "") const {
    return (file.empty() ? project_ : file) + "|/News/|http://a.example/|Title|" + tail + "\r\n";
  }

  test::TempDir dir_;
  std::string project_;
  std::string other_;
};

TEST_F(TimerListFileTest, EachKindIsWrittenInItsFormAndReadsBackAlike) {
  TimerEntry monthly = Entry(project_, "/News/", "http://a.example/", "Title", TimerKind::kMonthly);
  monthly.start_enabled = true;
  monthly.start_day = 5;
  monthly.start_hour = 7;
  monthly.start_minute = 9;
  monthly.end_day = 31;
  monthly.end_hour = 23;
  monthly.end_minute = 0;
  monthly.selected_only = true;
  TimerEntry weekly = Entry(project_, "/", "", "", TimerKind::kWeekly);
  weekly.end_enabled = true;
  weekly.start_weekday = 6;
  weekly.start_hour = 23;
  weekly.end_weekday = 0;
  weekly.end_hour = 1;
  weekly.end_minute = 30;
  TimerEntry daily = Entry(other_, "/A/B/", "http://b.example/x?y", "", TimerKind::kDaily);
  daily.start_enabled = daily.end_enabled = true;
  daily.start_hour = 22;
  daily.end_hour = 6;
  TimerEntry interval = Entry(other_, "/", "", "T", TimerKind::kInterval);
  interval.start_enabled = interval.end_enabled = true;
  interval.interval_period = 120;
  interval.duration = 45;

  EXPECT_EQ(monthly.ListLine(), project_ +
                                    "|/News/|http://a.example/|Title|Monthly|05:07:09:1|Selected|"
                                    "31:23:00:0\r\n");
  EXPECT_EQ(weekly.ListLine(), project_ + "|/|||Weekly|Sun:23:00:0|Default|Mon:01:30:1\r\n");
  EXPECT_EQ(daily.ListLine(),
            other_ + "|/A/B/|http://b.example/x?y||Daily|22:00:1|Default|06:00:1\r\n");
  EXPECT_EQ(interval.ListLine(), other_ + "|/||T|Interval|0:120:1|Default|45:1\r\n");

  const std::vector<TimerEntry> read =
      Read(monthly.ListLine() + weekly.ListLine() + daily.ListLine() + interval.ListLine());
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[0].ListLine(), monthly.ListLine());
  EXPECT_EQ(read[1].ListLine(), weekly.ListLine());
  EXPECT_EQ(read[2].ListLine(), daily.ListLine());
  EXPECT_EQ(read[3].ListLine(), interval.ListLine());
  EXPECT_EQ(read[1].start_weekday, 6);
  EXPECT_TRUE(read[0].selected_only);
  EXPECT_FALSE(read[1].start_enabled);
  EXPECT_EQ(read[3].interval_period, 120);
  EXPECT_EQ(read[3].duration, 45);
}

TEST_F(TimerListFileTest, ReadRulesForFlagsSelectionAndBlanks) {
  const struct {
    const char* tail;
    bool start_enabled, end_enabled, selected;
    int start_hour, end_hour;
  } rows[] = {
      {"Daily|10:00:1|Selected|11:00:1", true, true, true, 10, 11},
      {"Daily|10:00:1|Default|11:00:1", true, true, false, 10, 11},
      {"Daily|10:00:1|selected|11:00:1", true, true, false, 10, 11},  // only the exact word
      {"Daily|10:00:1|Whatever|11:00:1", true, true, false, 10, 11},
      {"Daily|10:00|Default|11:00", true, true, false, 10, 11},  // no flag: enabled
      {"Daily|10:00:0|Default|11:00:0", false, false, false, 10, 11},
      {"Daily|10:00:|Default|11:00:7", false, true, false, 10, 11},  // ":" alone reads 0
      {"Daily|10:00:1|Selected", true, false, true, 10, 0},          // no end part
      {"Daily|10:00:1|Default  ", true, false, false, 10, 0},
      {"Daily | 10:00:1 |\tSelected\t| 11:00:1  ", true, true, true, 10, 11},
      {"Daily|:|Default|:", true, true, false, 0, 0},  // absent numbers read 0
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.tail);
    const std::vector<TimerEntry> read = Read(Line(row.tail));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].kind, TimerKind::kDaily);
    EXPECT_EQ(read[0].start_enabled, row.start_enabled);
    EXPECT_EQ(read[0].end_enabled, row.end_enabled);
    EXPECT_EQ(read[0].selected_only, row.selected);
    EXPECT_EQ(read[0].start_hour, row.start_hour);
    EXPECT_EQ(read[0].end_hour, row.end_hour);
  }
}

TEST_F(TimerListFileTest, FieldsKeepInnerSpacesAndEndAtATab) {
  const std::string bytes =
      project_ + "|/My Folder/ |http://a.example/a b|  Lead\t |Daily|01:02:1|Default\r\n";
  const std::vector<TimerEntry> read = Read(bytes);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].folder, "/My Folder/ ");
  EXPECT_EQ(read[0].url, "http://a.example/a b");
  EXPECT_EQ(read[0].title, "Lead");  // blanks after "|" are skipped; the tab ends the field
}

TEST_F(TimerListFileTest, MissingProjectFileDropsOnlyItsLine) {
  const std::string bytes = Line("Daily|10:00:1|Default|11:00:1") +
                            Line("Daily|12:00:1|Default|13:00:1", dir_.File("gone.prj")) +
                            Line("Weekly|Tue:08:00:1|Default|Tue:09:00:1", other_);
  const std::vector<TimerEntry> read = Read(bytes);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].file, project_);
  EXPECT_EQ(read[1].file, other_);
  EXPECT_EQ(read[1].start_weekday, 1);
}

TEST_F(TimerListFileTest, ABrokenLineEndsTheReadingAndKeepsWhatCameBefore) {
  const std::string good = Line("Daily|10:00:1|Default|11:00:1");
  const std::string later = Line("Daily|12:00:1|Default|13:00:1", other_);
  const char* broken[] = {
      "Weekly|Mnd:08:00:1|Default",  // no such weekday
      "Weekly|mon:08:00:1|Default",  // names are exact
      "Monthly|05:07|Default",       // a separator missing
      "Daily|10:00:1 Default",       // "|" missing before the selection
      "Daily|10-00:1|Default",       // wrong separator
  };
  for (const char* tail : broken) {
    SCOPED_TRACE(tail);
    const std::vector<TimerEntry> read = Read(good + Line(tail) + later);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].start_hour, 10);
  }
  // Junk where the line should end: the entry itself stands (an absent number reads 0), but
  // nothing after it is read.
  const std::vector<TimerEntry> read = Read(good + Line("Interval|0:60:1|Default|x") + later);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].duration, 0);
  // Too few fields.
  EXPECT_EQ(Read(good + project_ + "|/News/|Daily\r\n" + later).size(), 1u);
  // An empty line is broken too.
  EXPECT_EQ(Read(good + "\r\n" + later).size(), 1u);
}

TEST_F(TimerListFileTest, LineEndsAndTheLastLine) {
  // LF alone also ends a line; a last line without any line end still counts.
  const std::string bytes =
      project_ + "|/|||Daily|10:00:1|Default\n" + other_ + "|/|||Daily|11:00:1|Default|12:00:1";
  const std::vector<TimerEntry> read = Read(bytes);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].end_hour, 12);
  EXPECT_TRUE(Read("").empty());
}

TEST_F(TimerListFileTest, HugeNumbersSaturateInsteadOfWrapping) {
  const std::vector<TimerEntry> read = Read(Line("Interval|0:99999999999999:1|Default|70000:1"));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].interval_period, 32767);
  EXPECT_EQ(read[0].duration, 32767);
}

TEST_F(TimerListFileTest, UnknownKindIsKeptAsWrittenAndNeverChecked) {
  const std::string line = Line("Yearly|12:25:10:00:1|Default|whatever");
  const std::vector<TimerEntry> read = Read(line + Line("Daily|10:00:1|Default"));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].kind, TimerKind::kNone);
  EXPECT_FALSE(read[0].start_enabled);
  EXPECT_EQ(read[0].ListLine(), line);
}

TEST_F(TimerListFileTest, ForceRangesClampsEveryFieldAsTheDialogsDo) {
  TimerEntry e = Entry(project_, "/", "", "", TimerKind::kInterval);
  e.start_day = 0;
  e.start_weekday = 9;
  e.start_hour = 24;
  e.start_minute = -1;
  e.interval_lead = 5;
  e.interval_period = 9;
  e.end_day = 32;
  e.end_weekday = -3;
  e.end_hour = -1;
  e.end_minute = 60;
  e.duration = 0;
  e.ForceRanges();
  EXPECT_EQ(e.start_day, 1);
  EXPECT_EQ(e.start_weekday, 6);
  EXPECT_EQ(e.start_hour, 23);
  EXPECT_EQ(e.start_minute, 0);
  EXPECT_EQ(e.interval_lead, 0);
  EXPECT_EQ(e.interval_period, 10);
  EXPECT_EQ(e.end_day, 31);
  EXPECT_EQ(e.end_weekday, 0);
  EXPECT_EQ(e.end_hour, 0);
  EXPECT_EQ(e.end_minute, 59);
  EXPECT_EQ(e.duration, 1);
  e.interval_period = 2000;
  e.duration = 2000;
  e.ForceRanges();
  EXPECT_EQ(e.interval_period, 1440);
  EXPECT_EQ(e.duration, 1440);
}

TEST_F(TimerListFileTest, SettingTextPerKind) {
  TimerEntry e;
  e.start_day = 3;
  e.start_weekday = 2;
  e.start_hour = 4;
  e.start_minute = 5;
  e.interval_period = 90;
  e.kind = TimerKind::kMonthly;
  EXPECT_EQ(e.SettingText(), "03 04:05");
  e.kind = TimerKind::kWeekly;
  EXPECT_EQ(e.SettingText(), "Wed 04:05");
  e.kind = TimerKind::kDaily;
  EXPECT_EQ(e.SettingText(), "04:05");
  e.kind = TimerKind::kInterval;
  EXPECT_EQ(e.SettingText(), "0 90");
}

class TimerDocTest : public TimerListFileTest {
 protected:
  std::string Install() const { return dir_.Path() + "/install/"; }
  std::string ListFile() const { return Install() + "QLM.tmf"; }
  TimerDocTest() { mkdir(Install().c_str(), 0755); }
};

TEST_F(TimerDocTest, LoadCreatesAnEmptyListFileAndKeepsAnExistingOne) {
  CTimerDoc doc;
  EXPECT_TRUE(doc.Load(Install()));
  EXPECT_EQ(doc.Count(), 0u);
  struct stat st;
  ASSERT_EQ(stat(ListFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);

  const std::string bytes = Line("Daily|10:00:1|Default|11:00:1") + "trailing junk\r\n";
  WriteFileBytes(ListFile(), bytes);
  EXPECT_TRUE(doc.Load(dir_.Path() + "/install"));  // the "/" is supplied
  EXPECT_EQ(doc.Count(), 1u);
  EXPECT_EQ(ReadFileBytes(ListFile()), bytes);  // reading changes nothing

  CTimerDoc nowhere;
  EXPECT_FALSE(nowhere.Load(dir_.File("no/such/folder/")));
  EXPECT_EQ(nowhere.Count(), 0u);
}

TEST_F(TimerDocTest, SaveWritesEveryEntryInOrderWithCrLf) {
  WriteFileBytes(ListFile(), Line("Daily|10:00:1|Default|11:00:1") +
                                 Line("Daily|10:00:1|Default|11:00:1", dir_.File("gone.prj")) +
                                 Line("Weekly|Fri:08:00:0|Selected|Fri:09:00:1", other_));
  CTimerDoc doc;
  ASSERT_TRUE(doc.Load(Install()));
  ASSERT_EQ(doc.Count(), 2u);
  ASSERT_TRUE(doc.Save(Install()));
  // The timer of the missing project is gone with the save.
  EXPECT_EQ(ReadFileBytes(ListFile()), Line("Daily|10:00:1|Default|11:00:1") +
                                           Line("Weekly|Fri:08:00:0|Selected|Fri:09:00:1", other_));

  CTimerDoc again;
  ASSERT_TRUE(again.Load(Install()));
  ASSERT_EQ(again.Count(), 2u);
  EXPECT_EQ(again.Entries()[1]->ListLine(), doc.Entries()[1]->ListLine());
}

TEST_F(TimerDocTest, FailedSaveLeavesTheOldFile) {
  WriteFileBytes(ListFile(), Line("Daily|10:00:1|Default"));
  CTimerDoc doc;
  ASSERT_TRUE(doc.Load(Install()));
  doc.Add(Entry(other_, "/", "", "", TimerKind::kDaily));
  chmod(Install().c_str(), 0555);
  const bool saved = doc.Save(Install());
  chmod(Install().c_str(), 0755);
  if (geteuid() != 0) {
    EXPECT_FALSE(saved);
  }
  if (!saved) {
    EXPECT_EQ(ReadFileBytes(ListFile()), Line("Daily|10:00:1|Default"));
  }
}

TEST_F(TimerDocTest, ItemTimerReplacesTheOldOneAndSavesOnlyWhenEnabled) {
  CTimerDoc doc;
  ASSERT_TRUE(doc.Load(Install()));
  TimerEntry built = Entry(project_, "/News/", "http://a.example/", "", TimerKind::kDaily);
  built.start_enabled = true;
  built.start_hour = 30;  // forced to 23
  built.interval_period = 0;
  ASSERT_TRUE(doc.SetItemTimer(built, Install()));
  ASSERT_EQ(doc.Count(), 1u);
  EXPECT_EQ(doc.Entries()[0]->start_hour, 23);
  EXPECT_EQ(doc.Entries()[0]->interval_period, 10);
  EXPECT_EQ(ReadFileBytes(ListFile()),
            project_ + "|/News/|http://a.example/||Daily|23:00:1|Default|00:00:0\r\n");

  // Another item gets its own timer; the same item's timer is replaced, not added.
  TimerEntry other = Entry(other_, "/", "", "", TimerKind::kWeekly);
  other.end_enabled = true;
  ASSERT_TRUE(doc.SetItemTimer(other, Install()));
  built.start_hour = 8;
  ASSERT_TRUE(doc.SetItemTimer(built, Install()));
  ASSERT_EQ(doc.Count(), 2u);
  EXPECT_EQ(doc.Entries()[0]->file, other_);
  EXPECT_EQ(doc.Find(project_, "/News/", "http://a.example/")->start_hour, 8);
  EXPECT_EQ(doc.Find(project_, "/News/", "http://a.example/x"), nullptr);

  // Neither start nor end: the timer leaves the list, the file keeps it until the next save.
  const std::string before = ReadFileBytes(ListFile());
  built.start_enabled = false;
  EXPECT_TRUE(doc.SetItemTimer(built, Install()));
  EXPECT_EQ(doc.Count(), 1u);
  EXPECT_EQ(ReadFileBytes(ListFile()), before);
}

TEST_F(TimerDocTest, DialupAndTimerSwitchComeFromTheApplicationSettings) {
  const std::string ini = dir_.File("Quillmere.ini");
  Profile profile(ini);
  ASSERT_TRUE(profile.WriteProfileString(AppSettings::kSection, "DialupEntry", "office"));
  ASSERT_TRUE(profile.WriteProfileInt(AppSettings::kSection, "DialRetry", 4));
  ASSERT_TRUE(profile.WriteProfileInt(AppSettings::kSection, "TimerValid", 0));
  AppSettings settings(Profile(ini), Install());
  settings.Read();
  settings.SetStored(AppText::Sai, "pw");
  const DialSettings dial = DialupSettingsOf(settings);
  EXPECT_EQ(dial.entry, "office");
  EXPECT_EQ(dial.retry, 4);
  EXPECT_EQ(dial.password, "pw");
  EXPECT_FALSE(TimersSwitchedOn(settings));
  ASSERT_TRUE(settings.ToggleTimerValid());
  EXPECT_TRUE(TimersSwitchedOn(settings));
}

}  // namespace
}  // namespace qlm
