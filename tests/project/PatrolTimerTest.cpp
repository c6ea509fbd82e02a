// When patrol timers start and stop patrols: windows, wraps, short months, interval periods, and
// the one-minute tick run on a manual clock through midnights and week ends without waiting.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "project/CTimerDoc.h"
#include "project/ClockWallClock.h"
#include "project/PatrolTimerWindow.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using Strings = std::vector<std::string>;

// Stands in for the project windows: a started project patrols until it is stopped. Every request
// is logged with the local time it came at ("Sun 23:59 start a.prj").
class RecordingActions : public TimerActions {
 public:
  bool IsPatrolling(const std::string& file) override { return patrolling.count(file) != 0; }
  void StartPatrol(const TimerEntry& entry) override {
    log.push_back(Stamp() + "start " + entry.file);
    patrolling.insert(entry.file);  // a project that is patrolling already ignores it
  }
  void StopPatrol(const std::string& file) override {
    log.push_back(Stamp() + "stop " + file);
    patrolling.erase(file);
  }

  std::set<std::string> patrolling;
  Strings log;
  const WallClock* wall = nullptr;  // for the stamps; none in direct evaluations

 private:
  std::string Stamp() const {
    if (!wall) return {};
    const LocalTime t = wall->ToLocal(wall->NowSeconds());
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d %s %02d:%02d ", t.month, t.day,
                  std::string(TimerEntry::WeekdayName(t.weekday)).c_str(), t.hour, t.minute);
    return buf;
  }
};

TimerEntry Calendar(TimerKind kind, const std::string& file, int start_day, int start_hour,
                    int start_minute, int end_day, int end_hour, int end_minute) {
  TimerEntry e;
  e.file = file;
  e.folder = "/";
  e.kind = kind;
  e.start_enabled = e.end_enabled = true;
  // Day or weekday, whichever the kind reads.
  e.start_day = e.start_weekday = static_cast<int16_t>(start_day);
  e.end_day = e.end_weekday = static_cast<int16_t>(end_day);
  e.start_hour = static_cast<int16_t>(start_hour);
  e.start_minute = static_cast<int16_t>(start_minute);
  e.end_hour = static_cast<int16_t>(end_hour);
  e.end_minute = static_cast<int16_t>(end_minute);
  return e;
}

TimerEntry Daily(const std::string& file, int sh, int sm, int eh, int em) {
  return Calendar(TimerKind::kDaily, file, 0, sh, sm, 0, eh, em);
}

TimerEntry Interval(const std::string& file, int period, int duration) {
  TimerEntry e;
  e.file = file;
  e.folder = "/";
  e.kind = TimerKind::kInterval;
  e.start_enabled = e.end_enabled = true;
  e.interval_period = static_cast<int16_t>(period);
  e.duration = static_cast<int16_t>(duration);
  return e;
}

LocalTime At(int day, int weekday, int hour, int minute) {
  LocalTime t;
  t.day = day;
  t.weekday = weekday;
  t.hour = hour;
  t.minute = minute;
  return t;
}

// Is a project covered by a timer at a moment? Asked the way it matters: a second timer of the
// same project ends right then, and the patrol survives exactly when the first one covers it.
TEST(PatrolTimerWindowsTest, InsideTheWindowKeepsThePatrolAgainstAnotherTimersEnd) {
  const int kSun = 6, kMon = 0, kSat = 5;
  const struct {
    const char* name;
    TimerEntry timer;
    LocalTime now;
    bool inside;
  } rows[] = {
      {"daily night 23:30", Daily("p", 22, 0, 6, 0), At(1, 0, 23, 30), true},
      {"daily night 05:59", Daily("p", 22, 0, 6, 0), At(1, 0, 5, 59), true},
      {"daily night at its end", Daily("p", 22, 0, 6, 0), At(1, 0, 6, 0), false},
      {"daily night at its start", Daily("p", 22, 0, 6, 0), At(1, 0, 22, 0), false},
      {"daily night at noon", Daily("p", 22, 0, 6, 0), At(1, 0, 12, 0), false},
      {"daily day 12:00", Daily("p", 9, 0, 17, 0), At(1, 0, 12, 0), true},
      {"daily day 08:59", Daily("p", 9, 0, 17, 0), At(1, 0, 8, 59), false},
      {"equal start and end, at it", Daily("p", 10, 0, 10, 0), At(1, 0, 10, 0), false},
      {"equal start and end, after", Daily("p", 10, 0, 10, 0), At(1, 0, 10, 1), false},
      {"equal start and end, before", Daily("p", 10, 0, 10, 0), At(1, 0, 9, 59), false},
      {"week wrap Sun 23:30", Calendar(TimerKind::kWeekly, "p", kSun, 23, 0, kMon, 1, 0),
       At(1, kSun, 23, 30), true},
      {"week wrap Mon 00:30", Calendar(TimerKind::kWeekly, "p", kSun, 23, 0, kMon, 1, 0),
       At(1, kMon, 0, 30), true},
      {"week wrap Mon 01:00", Calendar(TimerKind::kWeekly, "p", kSun, 23, 0, kMon, 1, 0),
       At(1, kMon, 1, 0), false},
      {"week wrap Sat 23:30", Calendar(TimerKind::kWeekly, "p", kSun, 23, 0, kMon, 1, 0),
       At(1, kSat, 23, 30), false},
      {"month wrap from the 31st, on the 1st",
       Calendar(TimerKind::kMonthly, "p", 31, 0, 0, 2, 0, 0), At(1, 0, 12, 0), true},
      {"month wrap from the 31st, on the 30th",
       Calendar(TimerKind::kMonthly, "p", 31, 0, 0, 2, 0, 0), At(30, 0, 12, 0), false},
      {"the 28th to the 31st, on the 30th of a short month",
       Calendar(TimerKind::kMonthly, "p", 28, 0, 0, 31, 23, 59), At(30, 0, 12, 0), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    CTimerDoc doc;
    TimerEntry covering = row.timer;
    covering.start_enabled = covering.end_enabled = false;  // covering works whatever the flags
    doc.Add(covering);
    TimerEntry ender = Daily("p", row.now.hour, row.now.minute, row.now.hour, row.now.minute);
    ender.start_enabled = false;
    doc.Add(ender);
    RecordingActions actions;
    actions.patrolling = {"p"};
    doc.Evaluate(1'000'000, row.now, 0, actions);
    EXPECT_EQ(actions.log, row.inside ? Strings{} : Strings{"stop p"});
  }
}

TEST(PatrolTimerWindowsTest, StartWinsOverEndAtTheSameMinuteAndOnlyAPatrolIsStopped) {
  CTimerDoc doc;
  doc.Add(Daily("p", 10, 0, 10, 0));
  RecordingActions actions;
  doc.Evaluate(0, At(1, 0, 10, 0), 0, actions);
  EXPECT_EQ(actions.log, Strings{"start p"});

  // An end with no patrol running asks nothing of the project.
  CTimerDoc idle;
  idle.Add(Daily("q", 8, 0, 9, 0));
  RecordingActions none;
  idle.Evaluate(0, At(1, 0, 9, 0), 0, none);
  EXPECT_TRUE(none.log.empty());
}

TEST(PatrolTimerWindowsTest, TimersThatCanNeverFireStayQuiet) {
  CTimerDoc doc;
  TimerEntry unknown = Daily("p", 10, 0, 11, 0);
  unknown.kind = TimerKind::kNone;
  doc.Add(unknown);
  TimerEntry no_period = Interval("p", 0, 5);  // as a hand-edited file may hold
  doc.Add(no_period);
  RecordingActions actions;
  actions.patrolling = {"p"};
  for (int minute = 0; minute < 60; ++minute) {
    doc.Evaluate(minute * 60, At(1, 0, 10, minute), 0, actions);
    doc.Evaluate(minute * 60, At(1, 0, 11, minute), 0, actions);
  }
  EXPECT_TRUE(actions.log.empty());
}

// Interval timers at chosen instants: reference 0, a 10-minute period, 5 minutes of patrol.
class IntervalTimerTest : public testing::Test {
 protected:
  void At(std::int64_t now) { doc_.Evaluate(now, qlm::At(1, 0, 12, 0), 0, actions_); }
  CTimerDoc doc_;
  RecordingActions actions_;
};

TEST_F(IntervalTimerTest, StopsOnTheFirstTickAtOrAfterTheDurationEvenWhenLate) {
  doc_.Add(Interval("p", 10, 5));
  At(600 + 30);  // within the first minute of a period
  EXPECT_EQ(actions_.log, Strings{"start p"});
  At(600 + 30 + 299);
  EXPECT_EQ(actions_.log.size(), 1u);
  At(600 + 30 + 301);  // a second late
  EXPECT_EQ(actions_.log, (Strings{"start p", "stop p"}));
  actions_.patrolling.insert("p");  // started again by hand: not this timer's to stop
  At(600 + 30 + 361);
  EXPECT_EQ(actions_.log.size(), 2u);
  At(1200 + 5);  // the next period starts it again
  EXPECT_EQ(actions_.log.back(), "start p");
}

TEST_F(IntervalTimerTest, RunningIntervalPatrolCoversItsProjectUntilItsDurationIsUsed) {
  TimerEntry ender = Daily("p", 12, 0, 12, 0);
  ender.start_enabled = false;
  doc_.Add(ender);  // ends "p" at every evaluation here, since they all read 12:00
  doc_.Add(Interval("p", 10, 5));
  At(600);
  EXPECT_EQ(actions_.log, Strings{"start p"});
  At(600 + 120);
  EXPECT_EQ(actions_.log, Strings{"start p"});  // covered by the interval timer
  At(600 + 300);
  EXPECT_EQ(actions_.log, (Strings{"start p", "stop p"}));
}

TEST_F(IntervalTimerTest, WithoutItsEndEnabledTheTimerNeverStops) {
  TimerEntry e = Interval("p", 10, 1);
  e.end_enabled = false;
  doc_.Add(e);
  for (std::int64_t t = 0; t < 3000; t += 60) At(t);
  EXPECT_EQ(actions_.log, Strings(5, "start p"));
}

// The one-minute tick on a manual clock: loops, timers and the local time move together.
class PatrolTickTest : public testing::Test {
 protected:
  // Starts the tick with the local time (UTC+9) at the given moment.
  void Begin(int year, int month, int day, int hour, int minute, int second) {
    const ClockWallClock probe(clock_, 0, kOffset);
    wall_ = std::make_unique<ClockWallClock>(
        clock_, probe.FromLocal(year, month, day, hour, minute, second) - clock_.NowMs() / 1000,
        kOffset);
    actions_.wall = wall_.get();
    window_ = std::make_unique<PatrolTimerWindow>(doc_, *wall_, actions_,
                                                  [this] { return timer_valid_; });
    ASSERT_TRUE(window_->Start());
  }
  void RunMinutes(int minutes) {
    for (int i = 0; i < minutes; ++i) {
      clock_.Advance(60000);
      loop_.RunPending();
    }
  }

  static constexpr int kOffset = 9 * 3600;
  ManualClock clock_;
  EventLoop loop_{clock_};
  test::Watchdog watchdog_{std::chrono::seconds(20), loop_.Id()};
  CTimerDoc doc_;
  RecordingActions actions_;
  bool timer_valid_ = true;
  std::unique_ptr<ClockWallClock> wall_;
  std::unique_ptr<PatrolTimerWindow> window_;
};

TEST_F(PatrolTickTest, DailyTimerRunsAcrossMidnight) {
  doc_.Add(Daily("a.prj", 23, 58, 0, 2));
  Begin(2024, 3, 9, 23, 55, 30);
  RunMinutes(10);
  EXPECT_EQ(actions_.log, (Strings{"03-09 Sat 23:58 start a.prj", "03-10 Sun 00:02 stop a.prj"}));
}

TEST_F(PatrolTickTest, WeeklyTimerRunsAcrossTheWeekEnd) {
  doc_.Add(Calendar(TimerKind::kWeekly, "a.prj", 6, 23, 59, 0, 0, 1));  // Sun 23:59 to Mon 00:01
  Begin(2024, 3, 3, 23, 50, 10);                                        // a Sunday
  RunMinutes(15);
  EXPECT_EQ(actions_.log, (Strings{"03-03 Sun 23:59 start a.prj", "03-04 Mon 00:01 stop a.prj"}));
  actions_.log.clear();
  RunMinutes(7 * 1440);  // one more week: once more, and nothing in between
  EXPECT_EQ(actions_.log, (Strings{"03-10 Sun 23:59 start a.prj", "03-11 Mon 00:01 stop a.prj"}));
}

TEST_F(PatrolTickTest, DayThirtyOneNeverComesInAShortMonth) {
  doc_.Add(Calendar(TimerKind::kMonthly, "a.prj", 31, 10, 0, 31, 11, 0));
  Begin(2024, 4, 29, 9, 0, 0);
  RunMinutes(3 * 1440);  // April 29 to May 2: April has no 31st
  EXPECT_TRUE(actions_.log.empty());
  RunMinutes(30 * 1440);  // on to June 1, through May 31
  EXPECT_EQ(actions_.log, (Strings{"05-31 Fri 10:00 start a.prj", "05-31 Fri 11:00 stop a.prj"}));
}

TEST_F(PatrolTickTest, TheEndOfOneTimerDoesNotStopAPatrolAnotherCovers) {
  doc_.Add(Daily("a.prj", 9, 0, 12, 0));
  doc_.Add(Daily("a.prj", 10, 0, 11, 0));
  doc_.Add(Daily("b.prj", 10, 30, 11, 0));
  Begin(2024, 3, 1, 8, 59, 30);
  RunMinutes(4 * 60);
  EXPECT_EQ(actions_.log, (Strings{"03-01 Fri 09:00 start a.prj", "03-01 Fri 10:00 start a.prj",
                                   "03-01 Fri 10:30 start b.prj", "03-01 Fri 11:00 stop b.prj",
                                   "03-01 Fri 12:00 stop a.prj"}));
}

TEST_F(PatrolTickTest, IntervalPeriodsCountFromTheStartOfTheProgram) {
  doc_.Add(Interval("a.prj", 10, 5));
  Begin(2024, 3, 1, 8, 3, 20);
  RunMinutes(25);
  EXPECT_EQ(actions_.log, (Strings{"03-01 Fri 08:13 start a.prj", "03-01 Fri 08:18 stop a.prj",
                                   "03-01 Fri 08:23 start a.prj", "03-01 Fri 08:28 stop a.prj"}));
  EXPECT_EQ(window_->Reference(), wall_->FromLocal(2024, 3, 1, 8, 3, 20));
}

TEST_F(PatrolTickTest, SwitchedOffTimersDoNothingAndRememberNothing) {
  doc_.Add(Daily("a.prj", 10, 0, 10, 5));
  doc_.Add(Interval("b.prj", 10, 5));
  timer_valid_ = false;
  Begin(2024, 3, 1, 9, 58, 0);
  RunMinutes(4);  // through 10:00 and b's first period
  EXPECT_TRUE(actions_.log.empty());
  timer_valid_ = true;
  RunMinutes(5);  // 10:02 to 10:07: the missed start is not made up, the end finds no patrol
  EXPECT_TRUE(actions_.log.empty());
  RunMinutes(5);
  EXPECT_EQ(actions_.log, Strings{"03-01 Fri 10:08 start b.prj"});
}

TEST(ClockWallClockTest, LocalReadingFollowsTheCalendar) {
  ManualClock clock;
  const ClockWallClock wall(clock, 0, -5 * 3600);
  const struct {
    int y, mo, d, h, mi;
    int weekday;
  } rows[] = {
      {1970, 1, 1, 0, 0, 3},     {2000, 2, 29, 23, 59, 1}, {2024, 3, 10, 12, 0, 6},
      {2023, 12, 31, 23, 59, 6}, {2100, 3, 1, 0, 0, 0},    {1969, 12, 31, 1, 2, 2},
  };
  for (const auto& row : rows) {
    const LocalTime t = wall.ToLocal(wall.FromLocal(row.y, row.mo, row.d, row.h, row.mi));
    EXPECT_EQ(t.year, row.y);
    EXPECT_EQ(t.month, row.mo);
    EXPECT_EQ(t.day, row.d);
    EXPECT_EQ(t.hour, row.h);
    EXPECT_EQ(t.minute, row.mi);
    EXPECT_EQ(t.weekday, row.weekday) << row.y << "-" << row.mo << "-" << row.d;
  }
  const ClockWallClock moving(clock, 86400 - 1);
  EXPECT_EQ(moving.ToLocal(moving.NowSeconds()).day, 1);
  clock.Advance(1000);
  EXPECT_EQ(moving.ToLocal(moving.NowSeconds()).day, 2);
}

}  // namespace
}  // namespace qlm
