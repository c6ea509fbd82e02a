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
std::vector<std::string> OnDisk(CQLMDoc& doc, Chain chain) {
  PatrolQueue reader(LinkRecord::kVersion);
  EXPECT_TRUE(reader.OpenForReading(doc.WorkQueue().Path()));
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
  EXPECT_EQ(OnDisk(doc, Chain::kMain).size(), 5u);
  // Holding the next one lets go of them first.
  EXPECT_EQ(TakeAndDo(work, false), "http://site/c");
  EXPECT_EQ(OnDisk(doc, Chain::kMain),
            (std::vector<std::string>{"http://site/d", "http://site/e"}));
  EXPECT_EQ(OnDisk(doc, Chain::kHeld), std::vector<std::string>{"http://site/c"});

  // Records appended meanwhile come after the ones done with.
  EXPECT_EQ(TakeAndDo(work, true), "http://site/d");
  ASSERT_TRUE(work.Append(Record("http://site/f")));
  EXPECT_EQ(OnDisk(doc, Chain::kMain),
            (std::vector<std::string>{"http://site/d", "http://site/e", "http://site/f"}));
  EXPECT_EQ(TakeAndDo(work, true), "http://site/e");
  EXPECT_TRUE(work.HasWork());
  EXPECT_EQ(TakeAndDo(work, true), "http://site/f");

  // The end of the queue lets go of them: nothing but the held record is left.
  EXPECT_FALSE(work.HasWork());
  EXPECT_TRUE(OnDisk(doc, Chain::kMain).empty());
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
  EXPECT_EQ(OnDisk(doc, Chain::kMain).front(), url);
  EXPECT_EQ(OnDisk(doc, Chain::kMain).size(), 2u);
  ASSERT_TRUE(work.TakeNext(held));
  EXPECT_EQ(held.record.url, url);
}

}  // namespace
}  // namespace qlm
