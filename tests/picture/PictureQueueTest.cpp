// The picture queue file "WP.lst", its record form, and the history of shown pictures.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "picture/PictureHistory.h"
#include "picture/PictureQueue.h"
#include "picture/PictureRecord.h"
#include "project/PatrolQueue.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using Result = PictureQueue::OpenResult;

PictureRecord Sample(int seed) {
  PictureRecord r;
  r.colour = 0x102030 + seed;
  r.effect = seed % 12;
  r.delay = 5;
  r.depth_limit = 2;
  r.depth = 1;
  r.hops = 3;
  r.min_width = 100;
  r.min_height = 80;
  r.img_flag = 1;
  r.interval = 30;
  r.mark = seed % 2 ? "New Picture" : "";
  r.file = "/pics/" + std::to_string(seed) + ".jpg";
  r.folder = seed % 3 ? "site/News" : "";
  r.item = seed % 3 ? "http://h/p" + std::to_string(seed) + ".html" : "";
  return r;
}

class PictureQueueTest : public testing::Test {
 protected:
  std::string Folder() const { return dir_.Path() + "/"; }
  std::string FilePath() const { return PictureQueue::FilePath(Folder()); }

  test::TempDir dir_;
  test::ScriptedPrompt prompt_;
};

TEST(PictureRecordTest, StoredFormIsTenIntegersAndFourStringsOfLPlus100Bytes) {
  const PictureRecord r = Sample(7);
  const std::string bytes = r.Encode();
  const std::size_t strings = r.mark.size() + r.file.size() + r.folder.size() + r.item.size();
  EXPECT_EQ(bytes.size(), strings + 100);
  // The first integer: its length word 4, then the colour, little-endian.
  EXPECT_EQ(bytes.substr(0, 8), std::string("\4\0\0\0\x37\x20\x10\0", 8));
  PictureRecord back;
  ASSERT_TRUE(PictureRecord::Decode(bytes, PictureRecord::kVersion, back));
  EXPECT_EQ(back, r);
  // Cut short or with a byte left over, the bytes are no record.
  EXPECT_FALSE(PictureRecord::Decode(bytes.substr(0, bytes.size() - 1), 10050, back));
  EXPECT_FALSE(PictureRecord::Decode(bytes + "x", 10050, back));
  EXPECT_EQ(PictureRecord().Encode().size(), 100u);
}

TEST(PictureRecordTest, DerivedRecordsKeepTheIntegersAndClearTheOtherStrings) {
  const PictureRecord r = Sample(1);
  const PictureRecord file = r.WithFile("/x.jpg");
  const PictureRecord folder = r.WithFolder("/d");
  const PictureRecord item = r.WithItem("site", "http://h/");
  EXPECT_TRUE(file.IsFile() && !file.IsFolder() && !file.IsItem());
  EXPECT_TRUE(folder.IsFolder() && !folder.IsFile() && !folder.IsItem());
  EXPECT_TRUE(item.IsItem() && !item.IsFolder() && !item.IsFile());
  for (const PictureRecord* d : {&file, &folder, &item}) {
    EXPECT_EQ(d->mark, "");
    EXPECT_EQ(d->colour, r.colour);
    EXPECT_EQ(d->interval, r.interval);
    EXPECT_EQ(d->hops, r.hops);
  }
  EXPECT_EQ(item.folder, "site");
  EXPECT_EQ(folder.item, "");
}

TEST_F(PictureQueueTest, LastPushedIsTakenFirstAndTheQueueSurvivesARestart) {
  {
    PictureQueue queue;
    ASSERT_EQ(queue.Open(Folder(), prompt_), Result::kOpened);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(queue.Push(Sample(i)));
    PictureRecord top;
    ASSERT_TRUE(queue.Pop(top));
    EXPECT_EQ(top, Sample(4));
  }
  PictureQueue queue;
  ASSERT_EQ(queue.Open(Folder(), prompt_), Result::kOpened);
  EXPECT_EQ(queue.Count(), 4u);
  for (int i = 3; i >= 0; --i) {
    PictureRecord r;
    ASSERT_TRUE(queue.Pop(r));
    EXPECT_EQ(r, Sample(i));
  }
  PictureRecord none;
  EXPECT_FALSE(queue.Pop(none));
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_TRUE(prompt_.questions.empty());

  // The file is a record list of version 10050 that others can read.
  PatrolQueue raw(PictureRecord::kVersion);
  queue.Push(Sample(9));
  queue.Close();
  ASSERT_TRUE(raw.OpenForReading(FilePath()));
  EXPECT_EQ(raw.FileVersion(), 10050);
  EXPECT_EQ(raw.Count(), 1u);
}

TEST_F(PictureQueueTest, NewPictureIsOnTopWithItsMarkAndNoDepth) {
  PictureQueue queue;
  ASSERT_EQ(queue.Open(Folder(), prompt_), Result::kOpened);
  queue.Push(Sample(2));
  ASSERT_TRUE(queue.AddNewPicture(Sample(4), "/m/new.jpg"));
  PictureRecord r;
  ASSERT_TRUE(queue.Pop(r));
  EXPECT_EQ(r.mark, "New Picture");
  EXPECT_EQ(r.file, "/m/new.jpg");
  EXPECT_EQ(r.folder, "");
  EXPECT_EQ(r.item, "");
  EXPECT_EQ(r.depth_limit, 0);
  EXPECT_EQ(r.depth, 0);
  EXPECT_EQ(r.hops, 0);
  EXPECT_EQ(r.colour, Sample(4).colour);
  EXPECT_TRUE(queue.Clear());
  EXPECT_TRUE(queue.IsEmpty());
}

TEST_F(PictureQueueTest, MissingProgramFolderEndsTheStartWithItsMessage) {
  PictureQueue queue;
  EXPECT_EQ(queue.Open(dir_.File("nowhere/"), prompt_), Result::kNotInstalled);
  ASSERT_EQ(prompt_.messages.size(), 1u);
  EXPECT_EQ(prompt_.messages[0], PictureQueue::kNotInstalled);
  EXPECT_FALSE(queue.IsOpen());
  EXPECT_TRUE(queue.IsEmpty());
  PictureRecord r;
  EXPECT_FALSE(queue.Pop(r));
  EXPECT_FALSE(queue.Push(Sample(1)));
}

// A list file of another version holding the given records.
void WriteOldFile(const std::string& path, int32_t version, const std::vector<std::string>& data) {
  PatrolQueue old(version);
  ASSERT_TRUE(old.Open(path));
  for (const std::string& d : data) ASSERT_TRUE(old.Append(std::string_view(d)));
}

TEST_F(PictureQueueTest, OtherVersionIsConvertedOnlyWhenTheUserAgrees) {
  WriteOldFile(FilePath(), 10040, {Sample(1).Encode(), "not a record", Sample(2).Encode()});
  const std::string old_bytes = test::ReadFileBytes(FilePath());

  PictureQueue declined;
  EXPECT_EQ(declined.Open(Folder(), prompt_), Result::kDeclined);
  ASSERT_EQ(prompt_.questions.size(), 1u);
  EXPECT_NE(prompt_.questions[0].find("コンバート"), std::string::npos);
  EXPECT_EQ(test::ReadFileBytes(FilePath()), old_bytes);

  prompt_.answers = {true};
  PictureQueue queue;
  ASSERT_EQ(queue.Open(Folder(), prompt_), Result::kOpened);
  EXPECT_TRUE(prompt_.messages.empty());
  // The records that read as pictures are kept in their order; the backup stays.
  EXPECT_EQ(queue.Count(), 2u);
  PictureRecord r;
  ASSERT_TRUE(queue.Pop(r));
  EXPECT_EQ(r, Sample(2));
  EXPECT_EQ(test::ReadFileBytes(FilePath() + ".10040"), old_bytes);
  queue.Close();
  PictureQueue reopened;
  EXPECT_EQ(reopened.Open(Folder(), prompt_), Result::kOpened);
  EXPECT_EQ(prompt_.questions.size(), 2u);  // asked no more
}

TEST_F(PictureQueueTest, FailedConversionIsReportedAndLeavesTheOldFile) {
  WriteOldFile(FilePath(), 10040, {Sample(1).Encode()});
  const std::string old_bytes = test::ReadFileBytes(FilePath());
  // The backup's place is taken by a folder, so the copy cannot be made.
  ASSERT_EQ(mkdir((FilePath() + ".10040").c_str(), 0755), 0);
  prompt_.answers = {true};
  PictureQueue queue;
  EXPECT_EQ(queue.Open(Folder(), prompt_), Result::kConvertFailed);
  ASSERT_EQ(prompt_.messages.size(), 1u);
  EXPECT_EQ(prompt_.messages[0], "ファイルのコンバートに失敗しました。");
  EXPECT_EQ(test::ReadFileBytes(FilePath()), old_bytes);
}

TEST_F(PictureQueueTest, DamagedFileIsKeptAsideAndTheQueueStartsEmpty) {
  ASSERT_TRUE(test::WriteFileBytes(FilePath(), std::string(60, '\x7f')));
  PictureQueue queue;
  ASSERT_EQ(queue.Open(Folder(), prompt_), Result::kOpened);
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_EQ(test::ReadFileBytes(FilePath() + ".damaged"), std::string(60, '\x7f'));
  EXPECT_TRUE(queue.Push(Sample(3)));
}

TEST_F(PictureQueueTest, PushesFromTwoThreadsAreAllKept) {
  PictureQueue queue;
  ASSERT_EQ(queue.Open(Folder(), prompt_), Result::kOpened);
  auto pusher = [&](int base) {
    for (int i = 0; i < 100; ++i) queue.Push(Sample(base + i));
  };
  std::thread one(pusher, 0);
  std::thread two(pusher, 1000);
  one.join();
  two.join();
  std::size_t popped = 0;
  PictureRecord r;
  while (queue.Pop(r)) ++popped;
  EXPECT_EQ(popped, 200u);
}

// The main program's rotation pops while a headless patrol of another process pushes what it
// picks up: each program keeps its own PictureQueue object on the same file.
TEST_F(PictureQueueTest, TwoProgramsPushingAndPoppingAtOnceNeitherLoseNorRepeatARecord) {
  constexpr int kPushes = 400;
  // Every third operation of a program is a pop; what it pops goes to its log, one file a line.
  auto run = [&](int base, const std::string& log_path) {
    PictureQueue queue;
    if (queue.Open(Folder(), prompt_) != Result::kOpened) return false;
    std::string log;
    for (int i = 0; i < kPushes; ++i) {
      if (!queue.Push(Sample(base + i))) return false;
      PictureRecord r;
      if (i % 3 == 2 && queue.Pop(r)) log += r.file + "\n";
    }
    return test::WriteFileBytes(log_path, log);
  };
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char byte;
    const bool started = ::read(go[0], &byte, 1) == 1;
    ::_exit(started && run(100000, dir_.File("child.log")) ? 0 : 1);
  }
  ASSERT_EQ(::write(go[1], "g", 1), 1);
  const bool parent_ran = run(0, dir_.File("parent.log"));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(go[0]);
  ::close(go[1]);
  ASSERT_TRUE(parent_ran);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::multiset<std::string> seen;
  for (const char* log : {"parent.log", "child.log"}) {
    const std::string text = test::ReadFileBytes(dir_.File(log));
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
      seen.insert(text.substr(at, end - at));
    }
  }
  PictureQueue queue;
  ASSERT_EQ(queue.Open(Folder(), prompt_), Result::kOpened);
  const std::size_t left = queue.Count();
  PictureRecord r;
  while (queue.Pop(r)) seen.insert(r.file);
  EXPECT_EQ(seen.size() - left, 2u * (kPushes / 3));
  std::multiset<std::string> pushed;
  for (int base : {0, 100000}) {
    for (int i = 0; i < kPushes; ++i) pushed.insert(Sample(base + i).file);
  }
  EXPECT_EQ(seen, pushed);
}

TEST(PictureHistoryTest, KeepsTheLastTwentyAndStepsBackTwoAtATime) {
  PictureHistory history;
  for (int i = 0; i < 25; ++i) history.Append(Sample(i));
  EXPECT_EQ(history.Count(), 20u);
  PictureRecord on_screen, before;
  ASSERT_TRUE(history.TakeNewestTwo(on_screen, before));
  EXPECT_EQ(on_screen, Sample(24));
  EXPECT_EQ(before, Sample(23));
  EXPECT_EQ(history.Count(), 18u);
  // The oldest left is the sixth appended: the first five were dropped.
  std::optional<PictureRecord> oldest;
  while (auto r = history.TakeNewest()) oldest = r;
  ASSERT_TRUE(oldest);
  EXPECT_EQ(*oldest, Sample(5));

  history.Append(Sample(1));
  EXPECT_FALSE(history.TakeNewestTwo(on_screen, before));
  EXPECT_EQ(history.Count(), 1u);
  history.Clear();
  EXPECT_EQ(history.Count(), 0u);
}

}  // namespace
}  // namespace qlm
