#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/PatrolConsole.h"
#include "app/PatrolStatus.h"
#include "crawl/CrawlMessages.h"
#include "crawl/DLStatus.h"
#include "crawl/PatrolEvents.h"
#include "net/TlsSession.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/Messaging.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

Message Obj(unsigned id, int index, int64_t length = -1, int64_t received = 0,
            bool completed = false, std::string url = "", bool stopped = false, int failure = 0) {
  // As a download object posts it: only the interval's block travels, the rest in the words.
  auto block = std::make_unique<DLObjStatus>();
  block->index = index;
  block->length = length;
  block->received = received;
  block->completed = completed;
  block->stopped = stopped;
  block->url = std::move(url);
  block->failure = failure;
  Message msg;
  msg.message = id;
  const ObjStatusWords words = EncodeObjStatus(*block, id);
  msg.wparam = words.wparam;
  msg.lparam = words.lparam;
  if (id == kMsgObjInterval) msg.payload = std::move(block);
  return msg;
}

Message Plain(unsigned id, std::unique_ptr<Payload> payload = nullptr) {
  Message msg;
  msg.message = id;
  msg.payload = std::move(payload);
  return msg;
}

void Feed(PatrolStatus& status, Message msg) {
  EXPECT_TRUE(status.Handle(msg)) << msg.message;
}

struct RowStep {
  Message (*make)();
  const char* bytes;
  const char* size;
  const char* percent;
  int lamp;
};

TEST(PatrolStatusTest, ObjectMessagesKeepSizesBeyondFourGigabytesAndTheirIndex) {
  // The words carry what a block did: a body past 4 GB, an unknown length, the last object.
  for (const int64_t length : {int64_t{-1}, int64_t{0}, int64_t{5} << 30, int64_t{1} << 55}) {
    Message msg = Obj(kMsgObjProgress, 4, length, (int64_t{3} << 31) + 7);
    const std::optional<DLObjStatus> status = TakeObjStatus(msg);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->index, 4);
    EXPECT_EQ(status->length, length);
    EXPECT_EQ(status->received, (int64_t{3} << 31) + 7);
  }
  Message released = Obj(kMsgObjReleased, 3, -1, 0, true);
  EXPECT_TRUE(TakeObjStatus(released)->completed);
  Message interval = Obj(kMsgObjInterval, 1, -1, 0, false, "http://h/a.html");
  EXPECT_EQ(TakeObjStatus(interval)->url, "http://h/a.html");
  Message other = Plain(kMsgVisited);
  EXPECT_FALSE(TakeObjStatus(other));
}

TEST(PatrolStatusTest, RowFollowsADownloadFromIntervalToRelease) {
  PatrolStatus status;
  const std::vector<RowStep> steps = {
      {[] { return Obj(kMsgObjInterval, 2, -1, 0, false, "http://h/a.jpg"); }, "Interval", "0", "",
       0},
      {[] { return Obj(kMsgObjContacting, 2); }, "Contacting", "0", "", 0},
      {[] { return Obj(kMsgObjConnected, 2); }, "Connected", "0", "", 0},
      {[] { return Obj(kMsgObjLength, 2, 200); }, "0", "200", "0", 0},
      {[] { return Obj(kMsgObjProgress, 2, 200, 50); }, "50", "200", "25", 25},
      {[] { return Obj(kMsgObjProgress, 2, 200, 199); }, "199", "200", "99", 99},
      {[] { return Obj(kMsgObjProgress, 2, 200, 200); }, "200", "200", "100", 100},
      {[] { return Obj(kMsgObjReleased, 2, -1, 0, true); }, "Complete", "200", "100", 100},
      // The next download on the same object starts from a clean row but keeps the old percent
      // until the length is known, as the view does.
      {[] { return Obj(kMsgObjInterval, 2, -1, 0, false, "http://h/b.html"); }, "Interval", "0",
       "100", 0},
      {[] { return Obj(kMsgObjLength, 2, -1); }, "0", "Unknown", "Unknown", 0},
      {[] { return Obj(kMsgObjProgress, 2, -1, 4096); }, "4096", "Unknown", "Unknown", 0},
      {[] { return Obj(kMsgObjReleased, 2, -1, 0, false); }, "Failed", "Unknown", "Unknown", 0},
      // A failure a user can act on says why.
      {[] { return Obj(kMsgObjReleased, 2, -1, 0, false, "", false, kTlsExpired); },
       "Failed (certificate expired)", "Unknown", "Unknown", 0},
      // A stop puts the download back into the queue: not a failure.
      {[] { return Obj(kMsgObjInterval, 2, -1, 0, false, "http://h/c.html"); }, "Interval", "0",
       "Unknown", 0},
      {[] { return Obj(kMsgObjReleased, 2, -1, 0, false, "", true); }, "Stopped", "0", "Unknown",
       0},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    Feed(status, steps[i].make());
    const PatrolStatus::Row& row = status.GetRow(2);
    EXPECT_EQ(row.bytes, steps[i].bytes) << "step " << i;
    EXPECT_EQ(row.size, steps[i].size) << "step " << i;
    EXPECT_EQ(row.percent, steps[i].percent) << "step " << i;
    EXPECT_EQ(row.lamp, steps[i].lamp) << "step " << i;
  }
  EXPECT_EQ(status.GetRow(2).url, "http://h/c.html");
  for (int other : {0, 1, 3, 4, 5}) EXPECT_EQ(status.GetRow(other).url, "") << other;
}

TEST(PatrolStatusTest, CountersAndTheModifiedPercentage) {
  PatrolStatus status;
  // Modified before any Localize shows no percentage (nothing to divide by).
  Feed(status, Plain(kMsgModified));
  EXPECT_EQ(status.ModifiedPercent(), "");
  for (int i = 0; i < 3; ++i) Feed(status, Plain(kMsgLocalize));
  EXPECT_EQ(status.ModifiedPercent(), "") << "shown only once a page was localised";
  Feed(status, Plain(kMsgModified));
  EXPECT_EQ(status.ModifiedPercent(), "66");  // 2 × 100 / 3, integer division
  // More pages queued for localisation leave the shown percentage until the next Modified.
  Feed(status, Plain(kMsgLocalize));
  EXPECT_EQ(status.ModifiedPercent(), "66");
  Feed(status, Plain(kMsgModified));
  EXPECT_EQ(status.ModifiedPercent(), "75");
  for (int i = 0; i < 12; ++i) Feed(status, Plain(kMsgDetected));
  Feed(status, Plain(kMsgRetry));
  Feed(status, Plain(kMsgVisited, PayloadText::Make("http://h/")));
  Feed(status, Plain(kMsgFailed, PayloadText::Make("http://h/x")));
  EXPECT_EQ(status.CounterLine(), "Detected 12 Retry 1 Visited 1 Failed 1 Localize 4 Modified 3");

  Feed(status, Plain(kMsgStatusReset));
  EXPECT_EQ(status.CounterLine(), "Detected 0 Retry 0 Visited 0 Failed 0 Localize 0 Modified 0");
  EXPECT_EQ(status.ModifiedPercent(), "");
  EXPECT_FALSE(status.HasEnded());
  Feed(status, Plain(kMsgPatrolEnded));
  EXPECT_TRUE(status.HasEnded());
}

TEST(PatrolStatusTest, AnIntervalWithoutItsBlockOrMessagesForAnotherObjectChangeNothing) {
  PatrolStatus status;
  const uint64_t before = status.Generation();
  Feed(status, Plain(kMsgObjInterval));
  Feed(status, Plain(kMsgHandling));
  Feed(status, Plain(kMsgHandling, MakePayload(42)));  // a block of the wrong kind
  EXPECT_EQ(status.Generation(), before);
  for (int index : {-1, 5, 1000}) {
    Feed(status, Obj(kMsgObjInterval, index, -1, 0, false, "http://h/"));
    Feed(status, Obj(kMsgObjProgress, index, 10, 5));
    Feed(status, Obj(kMsgObjReleased, index, -1, 0, true));
  }
  for (int r = 0; r < PatrolStatus::kRows; ++r) EXPECT_EQ(status.GetRow(r).url, "") << r;
  Message other = Plain(WM_USER + 99);
  EXPECT_FALSE(status.Handle(other));
}

TEST(PatrolStatusTest, FinishedRecordsAreToldWithTheirUrl) {
  PatrolStatus status;
  std::vector<std::string> told;
  status.OnFinished([&](const PatrolStatus::Finished& f) {
    told.push_back(std::string(f.visited ? "Visited " : "Failed ") + f.url +
                   (f.reason.empty() ? "" : " (" + f.reason + ")"));
  });
  // A URL carried by the message is told at once.
  Feed(status, Plain(kMsgVisited, PayloadText::Make("http://h/a.html")));
  // Without one, a release that follows names its object's URL for every record before it.
  Feed(status, Obj(kMsgObjInterval, 1, -1, 0, false, "http://h/b.gif"));
  Feed(status, Plain(kMsgVisited));
  Feed(status, Plain(kMsgVisited));
  EXPECT_EQ(told.size(), 1u);
  Feed(status, Obj(kMsgObjReleased, 1, -1, 0, true));
  // A local copy re-used: the URL handled without a download.
  Feed(status, Plain(kMsgHandling, PayloadText::Make("http://h/c.html")));
  Feed(status, Plain(kMsgFailed));
  Feed(status, Plain(kMsgDetected));
  Message untrusted = Plain(kMsgFailed, PayloadText::Make("https://h/d.html"));
  untrusted.wparam = kTlsUntrusted;
  Feed(status, std::move(untrusted));
  EXPECT_EQ(told, (std::vector<std::string>{"Visited http://h/a.html", "Visited http://h/b.gif",
                                            "Visited http://h/b.gif", "Failed http://h/c.html",
                                            "Failed https://h/d.html (certificate not trusted)"}));
}

TEST(PatrolStatusTest, LampTurnsFromBlueThroughGreenToRed) {
  EXPECT_EQ(PatrolStatus::LampColour(0), 0x0000FFu);
  EXPECT_EQ(PatrolStatus::LampColour(50), 0x00FF00u);
  EXPECT_EQ(PatrolStatus::LampColour(100), 0xFF0000u);
  // Halfway between, two channels share the light.
  const uint32_t c25 = PatrolStatus::LampColour(25);
  EXPECT_GT(c25 & 0xFF, 0u);
  EXPECT_GT((c25 >> 8) & 0xFF, 0u);
  EXPECT_EQ(c25 >> 16, 0u);
}

// Blocks posted across a loop arrive as the status understands them.
TEST(PatrolStatusTest, PostedMessagesOfDownloadObjectsAndEventsReachTheRows) {
  ManualClock clock;
  EventLoop loop(clock);
  PatrolStatus status;
  test::LambdaWindow window([&](Message& msg) -> LResult {
    status.Handle(msg);
    return 0;
  });
  ASSERT_TRUE(window.Create());
  const Hwnd hwnd = window.Handle();
  for (Message (*make)() :
       {+[] { return Obj(kMsgObjInterval, 0, -1, 0, false, "http://h/r.txt"); },
        +[] { return Obj(kMsgObjContacting, 0); }, +[] { return Obj(kMsgObjConnected, 0); },
        +[] { return Obj(kMsgObjLength, 0, 1000); },
        +[] { return Obj(kMsgObjProgress, 0, 1000, 250); }}) {
    Message msg = make();
    PostMessage(hwnd, msg.message, msg.wparam, msg.lparam, std::move(msg.payload));
  }
  PostedPatrolEvents events({hwnd});
  events.Detected();
  events.Handling("http://h/old.html");
  events.Visited("http://h/index.html");
  events.Failed("http://h/gone.html", 0);
  events.Retried();
  events.Localizing();
  events.Localized();
  events.Ended();
  ASSERT_TRUE(test::PumpUntil(loop, [&] { return status.HasEnded(); }));
  EXPECT_EQ(status.GetRow(0).url, "http://h/r.txt");
  EXPECT_EQ(status.GetRow(0).bytes, "250");
  EXPECT_EQ(status.GetRow(0).percent, "25");
  EXPECT_EQ(status.GetRow(PatrolStatus::kHandledRow).url, "http://h/old.html");
  EXPECT_EQ(status.CounterLine(), "Detected 1 Retry 1 Visited 1 Failed 1 Localize 1 Modified 1");
  EXPECT_EQ(status.ModifiedPercent(), "100");
}

std::string Captured(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text.append(buf, n);
  return text;
}

TEST(PatrolConsoleTest, FrameShowsRowsCountersAndCutsLongUrls) {
  PatrolStatus status;
  status.ObjInterval(0, "http://h/" + std::string(200, 'a') + ".html");
  status.ObjLength(0, 2048);
  status.ObjProgress(0, 2048, 1024);
  status.Handling("http://h/reused.html");
  status.Count(PatrolStatus::kLocalize);
  status.Count(PatrolStatus::kLocalize);
  status.Count(PatrolStatus::kModified);
  const std::string frame = PatrolConsole::Frame(status, 80, false);
  std::vector<std::string> lines;
  for (size_t start = 0; start < frame.size();) {
    const size_t end = frame.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(frame.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), static_cast<size_t>(PatrolConsole::kFrameLines));
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(lines[0], "      DL SIZE  FILE SIZE       %   URL");
  EXPECT_EQ(lines[1].substr(0, 35), "1        1024       2048      50   ");
  EXPECT_EQ(lines[1].substr(lines[1].size() - 3), "...");
  EXPECT_EQ(lines[6], "6                                  http://h/reused.html");
  EXPECT_EQ(lines[7], "Project progress: Detected 0 Retry 0 Visited 0 Failed 0");
  EXPECT_EQ(lines[8], "Html localize progress: Localize 2 Modified 1 (50%)");

  // On a narrow terminal no line may wrap: the next drawing goes back up by lines, not rows.
  for (int i = 0; i < 100000; ++i) status.Count(PatrolStatus::kDetected);
  const std::string narrow = PatrolConsole::Frame(status, 50, false);
  for (size_t start = 0; start < narrow.size();) {
    const size_t end = narrow.find('\n', start);
    EXPECT_LT(end - start, 50u) << narrow.substr(start, end - start);
    start = end + 1;
  }
}

TEST(PatrolConsoleTest, TerminalDrawsOverItsLastFrameOnlyWhenSomethingChanged) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  PatrolStatus status;
  PatrolConsole console(out, true, 100);
  console.Draw(status);
  const std::string first = Captured(out);
  EXPECT_EQ(first.find("\x1b[9A"), std::string::npos) << "nothing to draw over yet";
  console.Draw(status);
  EXPECT_EQ(Captured(out), first) << "unchanged status, no drawing";
  status.Count(PatrolStatus::kDetected);
  console.Finish(status);
  const std::string all = Captured(out);
  const std::string second = all.substr(first.size());
  EXPECT_EQ(second.rfind("\x1b[9A", 0), 0u) << "the second frame starts by going up";
  EXPECT_NE(second.find("Detected 1"), std::string::npos);
  EXPECT_NE(second.find("\x1b[38;2;0;0;255m"), std::string::npos) << "lamps at 0 are blue";
  EXPECT_TRUE(all.ends_with("\nDetected 1 Retry 0 Visited 0 Failed 0 Localize 0 Modified 0\n"))
      << all;
  std::fclose(out);
}

TEST(PatrolConsoleTest, WithoutATerminalOneLinePerFinishedRecordThenTheCounters) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  PatrolStatus status;
  PatrolConsole console(out, false);
  console.Attach(status);
  status.ObjInterval(3, "http://h/a.html");
  console.Draw(status);  // nothing without a terminal
  status.Count(PatrolStatus::kDetected);
  status.Count(PatrolStatus::kVisited, "http://h/a.html");
  status.Count(PatrolStatus::kFailed, "http://h/b.html");
  console.Finish(status);
  EXPECT_EQ(Captured(out),
            "Visited http://h/a.html\nFailed http://h/b.html\n"
            "Detected 1 Retry 0 Visited 1 Failed 1 Localize 0 Modified 0\n");
  std::fclose(out);
}

}  // namespace
}  // namespace qlm
