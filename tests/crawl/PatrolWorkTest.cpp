#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/PatrolWork.h"
#include "tests/crawl/ProjectFixture.h"

namespace qlm {
namespace {

using Chain = PatrolQueue::Chain;

LinkRecord Record(const std::string& url) {
  LinkRecord record;
  record.folder_path = "/proj/";
  record.item_url = "http://site/";
  record.url = url;
  return record;
}

// The URLs of a chain as a fresh process reading the file would find them.
std::vector<std::string> OnDisk(PatrolQueue& queue, Chain chain) {
  PatrolQueue reader(LinkRecord::kVersion);
  EXPECT_TRUE(reader.OpenForReading(queue.Path()));
  std::vector<std::string> urls;
  reader.ForEach(chain, [&](PatrolQueue::NodeId, std::string_view data) {
    LinkRecord record;
    EXPECT_TRUE(LinkRecord::Decode(data, reader.FileVersion(), record));
    urls.push_back(record.url);
    return true;
  });
  return urls;
}

std::string TakeAndDo(PatrolWork& work, bool done) {
  HeldRecord held;
  if (!work.TakeNext(held)) return "";
  EXPECT_TRUE(done ? work.Done(held) : work.Hold(held));
  return held.record.url;
}

TEST(PatrolWorkTest, RecordsDoneAtOnceLeaveTogetherAndAKillBeforeThatOnlyRepeatsThem) {
  test::ProjectFixture project;
  CQLMDoc& doc = project.Doc();
  for (const char* url :
       {"http://site/a", "http://site/b", "http://site/c", "http://site/d", "http://site/e"}) {
    ASSERT_TRUE(doc.WorkQueue().Append(Record(url)));
  }
  PatrolWork work(doc, false);

  EXPECT_EQ(TakeAndDo(work, true), "http://site/a");
  EXPECT_EQ(TakeAndDo(work, true), "http://site/b");
  // Still in the file: a patrol killed now would handle them again.
  EXPECT_EQ(OnDisk(doc.WorkQueue(), Chain::kMain).size(), 5u);
  // Holding the next one lets go of them first.
  EXPECT_EQ(TakeAndDo(work, false), "http://site/c");
  EXPECT_EQ(OnDisk(doc.WorkQueue(), Chain::kMain),
            (std::vector<std::string>{"http://site/d", "http://site/e"}));
  EXPECT_EQ(OnDisk(doc.WorkQueue(), Chain::kHeld), std::vector<std::string>{"http://site/c"});

  // Records appended meanwhile come after the ones done with.
  EXPECT_EQ(TakeAndDo(work, true), "http://site/d");
  ASSERT_TRUE(work.Append(Record("http://site/f")));
  EXPECT_EQ(OnDisk(doc.WorkQueue(), Chain::kMain),
            (std::vector<std::string>{"http://site/d", "http://site/e", "http://site/f"}));
  EXPECT_EQ(TakeAndDo(work, true), "http://site/e");
  EXPECT_TRUE(work.HasWork());
  EXPECT_EQ(TakeAndDo(work, true), "http://site/f");

  // The end of the queue lets go of them: nothing but the held record is left.
  EXPECT_FALSE(work.HasWork());
  EXPECT_TRUE(OnDisk(doc.WorkQueue(), Chain::kMain).empty());
  EXPECT_EQ(doc.WorkQueue().Count(Chain::kMain), 0u);
  EXPECT_FALSE(work.Failed());
}

TEST(PatrolWorkTest, ARunOfRecordsDoneWithIsLetGoOfWhenItIsFullAndBeforeARequeue) {
  test::ProjectFixture project;
  CQLMDoc& doc = project.Doc();
  const std::size_t total = PatrolWork::kDoneRun + 3;
  for (std::size_t i = 0; i < total; ++i) {
    ASSERT_TRUE(doc.WorkQueue().Append(Record("http://site/" + std::to_string(i))));
  }
  PatrolWork work(doc, false);
  for (std::size_t i = 0; i + 1 < PatrolWork::kDoneRun; ++i) TakeAndDo(work, true);
  EXPECT_EQ(doc.WorkQueue().Count(), total);
  TakeAndDo(work, true);
  EXPECT_EQ(doc.WorkQueue().Count(), 3u);

  // A record taken and put back (no free download) stays first, after the done ones have gone.
  TakeAndDo(work, true);
  HeldRecord held;
  ASSERT_TRUE(work.TakeNext(held));
  const std::string url = held.record.url;
  ASSERT_TRUE(work.Requeue(held));
  EXPECT_EQ(OnDisk(doc.WorkQueue(), Chain::kMain).front(), url);
  EXPECT_EQ(OnDisk(doc.WorkQueue(), Chain::kMain).size(), 2u);
  ASSERT_TRUE(work.TakeNext(held));
  EXPECT_EQ(held.record.url, url);
}

TEST(PatrolWorkTest, PagesBeingLocalisedStayInTheQueueUntilTheirRewriteIsDurable) {
  test::ProjectFixture project;
  CQLMDoc& doc = project.Doc();
  const std::vector<std::string> pages = {"http://site/a", "http://site/b", "http://site/c"};
  for (const std::string& url : pages) ASSERT_TRUE(doc.LocalizeQueue().Append(Record(url)));
  PatrolWork work(doc, true);

  // Taken one after another, without a write to the file.
  HeldRecord a;
  HeldRecord b;
  ASSERT_TRUE(work.TakeLocalize(a));
  ASSERT_TRUE(work.DoneLocalizeWhenDurable(a.node));
  ASSERT_TRUE(work.TakeLocalize(b));
  EXPECT_EQ(a.record.url, "http://site/a");
  EXPECT_EQ(b.record.url, "http://site/b");
  EXPECT_EQ(OnDisk(doc.LocalizeQueue(), Chain::kMain), pages);
  // A sync makes the first one durable while the second is being localised: only the first goes.
  work.Seal();
  ASSERT_TRUE(work.DoneLocalizeWhenDurable(b.node));
  ASSERT_TRUE(work.SyncEnded(0));
  EXPECT_EQ(OnDisk(doc.LocalizeQueue(), Chain::kMain),
            (std::vector<std::string>{"http://site/b", "http://site/c"}));
  HeldRecord c;
  ASSERT_TRUE(work.TakeLocalize(c));
  EXPECT_EQ(c.record.url, "http://site/c");

  // Killed now: a new patrol finds the pages not yet durable and localises them again.
  PatrolWork next(doc, true);
  HeldRecord again;
  ASSERT_TRUE(next.TakeLocalize(again));
  EXPECT_EQ(again.record.url, "http://site/b");
  ASSERT_TRUE(next.DoneLocalize(again.node));
  ASSERT_TRUE(next.TakeLocalize(again));
  EXPECT_EQ(again.record.url, "http://site/c");
  ASSERT_TRUE(next.DoneLocalize(again.node));
  EXPECT_FALSE(next.TakeLocalize(again));
  EXPECT_FALSE(next.Failed());
  EXPECT_TRUE(doc.LocalizeQueue().IsEmpty());
}

TEST(PatrolWorkTest, LocalizeRecordsOfFetchedPagesAreWrittenTogetherBeforeASync) {
  test::ProjectFixture project;
  CQLMDoc& doc = project.Doc();
  PatrolWork work(doc, true);
  ASSERT_TRUE(work.AppendLocalizeWhenDurable(Record("http://site/a")));
  ASSERT_TRUE(work.AppendLocalizeWhenDurable(Record("http://site/b")));
  EXPECT_TRUE(OnDisk(doc.LocalizeQueue(), Chain::kMain).empty());
  // Before a sync begins they are in the file, so the sync covers them before the pages' work
  // records go.
  work.Seal();
  EXPECT_EQ(OnDisk(doc.LocalizeQueue(), Chain::kMain),
            (std::vector<std::string>{"http://site/a", "http://site/b"}));
  ASSERT_TRUE(work.SyncEnded(0));
  // A full run is written at once; the localization pass writes what is left before it reads.
  for (std::size_t i = 0; i < PatrolWork::kLocalizeRun; ++i) {
    ASSERT_TRUE(work.AppendLocalizeWhenDurable(Record("http://site/p" + std::to_string(i))));
  }
  EXPECT_EQ(OnDisk(doc.LocalizeQueue(), Chain::kMain).size(), 2 + PatrolWork::kLocalizeRun);
  ASSERT_TRUE(work.AppendLocalizeWhenDurable(Record("http://site/z")));
  HeldRecord held;
  std::vector<std::string> taken;
  while (work.TakeLocalize(held)) {
    taken.push_back(held.record.url);
    ASSERT_TRUE(work.DoneLocalize(held.node));
  }
  ASSERT_EQ(taken.size(), 3 + PatrolWork::kLocalizeRun);
  EXPECT_EQ(taken.back(), "http://site/z");
  // Without durability nothing waits.
  PatrolWork plain(doc, false);
  ASSERT_TRUE(plain.AppendLocalizeWhenDurable(Record("http://site/c")));
  EXPECT_EQ(OnDisk(doc.LocalizeQueue(), Chain::kMain), std::vector<std::string>{"http://site/c"});
}

}  // namespace
}  // namespace qlm
