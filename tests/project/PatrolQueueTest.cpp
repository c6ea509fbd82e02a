#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "project/LinkRecord.h"
#include "project/PatrolQueue.h"
#include "tests/project/CrashingQueueStore.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using Chain = PatrolQueue::Chain;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Words(std::initializer_list<uint32_t> words) {
  std::string out;
  for (uint32_t w : words) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(w >> (8 * i)));
  }
  return out;
}

std::string EmptyHeader(uint32_t version) {
  return Words({44, 44, version, 12, 20, 12, 20, 28, 36, 28, 36});
}

std::vector<std::string> Contents(PatrolQueue& q, Chain chain) {
  std::vector<std::string> out;
  EXPECT_TRUE(q.ForEach(chain, [&out](PatrolQueue::NodeId, std::string_view data) {
    out.emplace_back(data);
    return true;
  }));
  return out;
}

TEST(PatrolQueue, NewFileIsAnEmptyHeaderWithTheVersion) {
  TempDir dir;
  PatrolQueue q(LinkRecord::kVersion);
  ASSERT_TRUE(q.Open(dir.File("a.uq")));
  EXPECT_EQ(q.FileVersion(), 10070);
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_EQ(ReadFileBytes(dir.File("a.uq")), EmptyHeader(10070));

  PatrolQueue pictures(LinkRecord::kVersion10050);
  ASSERT_TRUE(pictures.Open(dir.File("WP.lst")));
  EXPECT_EQ(ReadFileBytes(dir.File("WP.lst")), EmptyHeader(10050));
  // A file keeps the version it was made with, whatever the object that opens it expects.
  pictures.Close();
  ASSERT_TRUE(q.Open(dir.File("WP.lst")));
  EXPECT_EQ(q.FileVersion(), 10050);
}

TEST(PatrolQueue, NodesAreWrittenAtTheEndAndLinkedIntoTheChain) {
  TempDir dir;
  PatrolQueue q(LinkRecord::kVersion);
  ASSERT_TRUE(q.Open(dir.File("q")));
  ASSERT_TRUE(q.Append(std::string_view("abc")));
  ASSERT_TRUE(q.Append(std::string_view("de")));
  ASSERT_TRUE(q.InsertFront(std::string_view("f")));
  // Nodes at 44 (15 bytes), 59 (14 bytes), 73 (13 bytes); chain order 73, 44, 59.
  const std::string want = Words({86, 86, 10070, 12, 73, 59, 20, 28, 36, 28, 36}) +
                           Words({73, 59, 3}) + "abc" + Words({44, 20, 2}) + "de" +
                           Words({12, 44, 1}) + "f";
  EXPECT_EQ(ReadFileBytes(dir.File("q")), want);
  EXPECT_EQ(Contents(q, Chain::kMain), (std::vector<std::string>{"f", "abc", "de"}));
  EXPECT_EQ(q.Count(), 3u);
}

TEST(PatrolQueue, EndsAreTakenInOrderAndTheFileIsWrittenAnewWhenEmpty) {
  TempDir dir;
  PatrolQueue q(LinkRecord::kVersion10050);
  ASSERT_TRUE(q.Open(dir.File("q")));
  for (const char* s : {"1", "2", "3", "4"}) ASSERT_TRUE(q.Append(std::string_view(s)));
  std::string data;
  ASSERT_TRUE(q.PopFront(data));
  EXPECT_EQ(data, "1");
  ASSERT_TRUE(q.PopBack(data));
  EXPECT_EQ(data, "4");
  // Reopened: the rest survives, unlinked nodes still in the file.
  q.Close();
  ASSERT_TRUE(q.Open(dir.File("q")));
  EXPECT_EQ(Contents(q, Chain::kMain), (std::vector<std::string>{"2", "3"}));
  EXPECT_GT(ReadFileBytes(dir.File("q")).size(), 44u);
  ASSERT_TRUE(q.PopBack(data));
  ASSERT_TRUE(q.PopFront(data));
  EXPECT_EQ(data, "2");
  EXPECT_FALSE(q.PopFront(data));
  EXPECT_EQ(q.Error(), 0);
  EXPECT_EQ(ReadFileBytes(dir.File("q")), EmptyHeader(10050));
}

TEST(PatrolQueue, TypedRecordsRoundTripAndUndecodableOnesAreSkipped) {
  TempDir dir;
  PatrolQueue q(LinkRecord::kVersion);
  ASSERT_TRUE(q.Open(dir.File("q")));
  LinkRecord a;
  a.url = "http://h/a";
  a.depth = 2;
  LinkRecord b;
  b.url = "http://h/b";
  ASSERT_TRUE(q.Append(a));
  ASSERT_TRUE(q.Append(std::string_view("garbage")));
  ASSERT_TRUE(q.Append(b));
  LinkRecord got;
  ASSERT_TRUE(q.PopFront(got));
  EXPECT_EQ(got, a);
  ASSERT_TRUE(q.PopFront(got));
  EXPECT_EQ(got, b);
  EXPECT_EQ(q.Skipped(), 1u);
  EXPECT_FALSE(q.PopFront(got));
}

TEST(PatrolQueue, HeldRecordsStayOnDiskAndGoBackToTheFrontInOrder) {
  TempDir dir;
  PatrolQueue q(LinkRecord::kVersion);
  ASSERT_TRUE(q.Open(dir.File("q")));
  for (const char* s : {"a", "b", "c", "d"}) ASSERT_TRUE(q.Append(std::string_view(s)));
  std::string data;
  PatrolQueue::NodeId held_a = 0, held_b = 0, held_c = 0;
  ASSERT_TRUE(q.HoldFront(data, held_a));
  ASSERT_TRUE(q.HoldFront(data, held_b));
  ASSERT_TRUE(q.HoldFront(data, held_c));
  EXPECT_EQ(data, "c");
  ASSERT_TRUE(q.Remove(held_b, Chain::kHeld));  // b is done
  EXPECT_EQ(Contents(q, Chain::kHeld), (std::vector<std::string>{"a", "c"}));

  q.Close();  // a patrol cut off here
  ASSERT_TRUE(q.Open(dir.File("q")));
  EXPECT_EQ(q.Count(Chain::kHeld), 2u);
  ASSERT_TRUE(q.RestoreHeld());
  EXPECT_EQ(Contents(q, Chain::kMain), (std::vector<std::string>{"a", "c", "d"}));
  EXPECT_TRUE(q.IsEmpty(Chain::kHeld));

  // The file is cut back only when both chains are empty.
  ASSERT_TRUE(q.PopFront(data));
  ASSERT_TRUE(q.HoldFront(data, held_c));
  ASSERT_TRUE(q.PopFront(data));
  EXPECT_GT(ReadFileBytes(dir.File("q")).size(), 44u);
  ASSERT_TRUE(q.Remove(held_c, Chain::kHeld));
  EXPECT_EQ(ReadFileBytes(dir.File("q")), EmptyHeader(10070));
}

TEST(PatrolQueue, ResetEmptiesBothChains) {
  TempDir dir;
  PatrolQueue q(LinkRecord::kVersion);
  ASSERT_TRUE(q.Open(dir.File("q")));
  std::string data;
  PatrolQueue::NodeId held;
  for (const char* s : {"a", "b"}) ASSERT_TRUE(q.Append(std::string_view(s)));
  ASSERT_TRUE(q.HoldFront(data, held));
  ASSERT_TRUE(q.Reset());
  EXPECT_TRUE(q.IsEmpty(Chain::kMain) && q.IsEmpty(Chain::kHeld));
  EXPECT_EQ(ReadFileBytes(dir.File("q")), EmptyHeader(10070));
}

TEST(PatrolQueue, DamagedFilesAreRefusedAndLeftAsTheyAre) {
  const std::string good =
      Words({59, 59, 10070, 12, 44, 44, 20, 28, 36, 28, 36}) + Words({12, 20, 3}) + "abc";
  auto with_word = [&good](std::size_t offset, uint32_t word) {
    std::string bytes = good;
    bytes.replace(offset, 4, Words({word}));
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"no bytes at all", ""},
      {"shorter than the header", good.substr(0, 43)},
      {"head points past the end", with_word(16, 4000)},
      {"head points into the header", with_word(16, 28)},
      {"node runs past the end", good.substr(0, good.size() - 1)},
      {"data length past the end", with_word(52, 4)},
      {"node ends in the other chain's tail", with_word(48, 36)},
      {"node links to itself", with_word(48, 44)},
      {"sentinel words changed", with_word(12, 0)},
      {"held chain points into the main chain", with_word(32, 44)},
  };
  TempDir dir;
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(dir.File("q"), c.bytes));
    PatrolQueue q(LinkRecord::kVersion);
    EXPECT_FALSE(q.Open(dir.File("q"))) << c.what;
    EXPECT_EQ(q.Error(), PatrolQueue::kErrDamaged) << c.what;
    EXPECT_FALSE(q.IsOpen());
    EXPECT_EQ(ReadFileBytes(dir.File("q")), c.bytes) << c.what;
  }
  ASSERT_TRUE(WriteFileBytes(dir.File("q"), good));
  PatrolQueue q(LinkRecord::kVersion);
  EXPECT_TRUE(q.Open(dir.File("q")));
  EXPECT_EQ(Contents(q, Chain::kMain), (std::vector<std::string>{"abc"}));
  EXPECT_FALSE(q.Open(dir.Path() + "/missing/q"));
  EXPECT_EQ(q.Error(), PatrolQueue::kErrOpen);
}

TEST(PatrolQueue, ReadingOnlyLeavesTheFileByteForByte) {
  TempDir dir;
  const std::string path = dir.File("q");
  {
    auto store = std::make_unique<test::CrashingQueueStore>();
    test::CrashingQueueStore& crash = *store;
    PatrolQueue q(LinkRecord::kVersion10050, std::move(store));
    ASSERT_TRUE(q.Open(path));
    ASSERT_TRUE(q.Append(std::string_view("kept")));
    crash.CrashAfter(1);  // the node is written, never linked
    q.Append(std::string_view("orphan"));
  }
  const std::string before = ReadFileBytes(path);
  PatrolQueue reader(LinkRecord::kVersion);
  ASSERT_TRUE(reader.OpenForReading(path));
  EXPECT_EQ(reader.FileVersion(), 10050);
  EXPECT_EQ(Contents(reader, Chain::kMain), std::vector<std::string>{"kept"});
  std::string data;
  EXPECT_FALSE(reader.PopFront(data));
  EXPECT_EQ(reader.Error(), PatrolQueue::kErrReadOnly);
  EXPECT_FALSE(reader.Append(std::string_view("x")));
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_FALSE(reader.OpenForReading(dir.File("absent")));
}

// What a restart finds: the chains read forwards and, through the previous links, backwards.
struct Found {
  std::vector<std::string> main, held;
  bool operator==(const Found&) const = default;
};

Found Restart(const std::string& path) {
  Found found;
  PatrolQueue q(LinkRecord::kVersion);
  EXPECT_TRUE(q.Open(path));
  found.main = Contents(q, Chain::kMain);
  found.held = Contents(q, Chain::kHeld);
  EXPECT_EQ(q.Count(Chain::kMain), found.main.size());
  // The previous links must agree with the next links after the repair on open.
  std::vector<std::string> backwards;
  std::string data;
  while (q.PopBack(data, Chain::kMain)) backwards.push_back(data);
  std::reverse(backwards.begin(), backwards.end());
  EXPECT_EQ(backwards, found.main);
  while (q.PopBack(data, Chain::kHeld)) backwards.push_back(data);
  // Both chains popped to nothing: the file is back to its header.
  EXPECT_EQ(ReadFileBytes(path), EmptyHeader(10070));
  return found;
}

TEST(PatrolQueue, ReadsMatchAModelAndTheFileThroughLongMixedRuns) {
  // The object reads and writes through a mapping of the file that it makes anew as the file
  // grows, or else through a window of the file's bytes that its writes keep up to date; a long
  // mixed run (records small and larger than that window, both chains, cut backs to
  // an empty file, changes by another object seen through Refresh) must read what a plain model
  // holds, and a fresh object must find the same on disk.
  TempDir dir;
  const std::string path = dir.File("q");
  std::mt19937 random(4711);
  PatrolQueue q(LinkRecord::kVersion);
  ASSERT_TRUE(q.Open(path));
  std::deque<std::pair<std::string, PatrolQueue::NodeId>> main, held;
  uint32_t serial = 0;
  auto record = [&] {
    const std::size_t size = random() % 16 == 0 ? 9000 + random() % 3000 : random() % 200;
    std::string data = std::to_string(serial++) + ":";
    data.resize(std::max(data.size(), size), static_cast<char>('a' + serial % 26));
    return data;
  };
  auto check = [&](PatrolQueue& reader, const char* when, int step) {
    std::vector<std::string> want_main, want_held;
    for (const auto& [data, node] : main) want_main.push_back(data);
    for (const auto& [data, node] : held) want_held.push_back(data);
    ASSERT_EQ(Contents(reader, Chain::kMain), want_main) << when << " step " << step;
    ASSERT_EQ(Contents(reader, Chain::kHeld), want_held) << when << " step " << step;
  };
  std::uintmax_t largest = 0;
  for (int step = 0; step < 3000; ++step) {
    std::string data;
    PatrolQueue::NodeId node = 0;
    switch (random() % 10) {
      case 0:
      case 1: {
        const std::string r = record();
        ASSERT_TRUE(q.Append(std::string_view(r), Chain::kMain, &node));
        main.emplace_back(r, node);
        break;
      }
      case 2: {
        std::vector<std::string> rs(1 + random() % 12);
        for (auto& r : rs) r = record();
        ASSERT_TRUE(q.AppendAll(rs));
        for (const auto& r : rs) main.emplace_back(r, 0);
        break;
      }
      case 3: {
        const std::string r = record();
        ASSERT_TRUE(q.InsertFront(std::string_view(r), Chain::kMain, &node));
        main.emplace_front(r, node);
        break;
      }
      case 4:
      case 5:
        // Read the front, then remove it by its node, as a patrol does.
        if (main.empty()) break;
        ASSERT_TRUE(q.PeekFront(data, node));
        ASSERT_EQ(data, main.front().first) << step;
        ASSERT_TRUE(q.Remove(node, Chain::kMain));
        main.pop_front();
        break;
      case 6:
        // The front record goes into the held chain, as it was or changed on its way.
        if (main.empty()) break;
        if (random() % 2) {
          ASSERT_TRUE(q.HoldFront(data, node));
          ASSERT_EQ(data, main.front().first) << step;
        } else {
          PatrolQueue::NodeId front = 0;
          ASSERT_TRUE(q.PeekFront(data, front));
          data += "+held";
          ASSERT_TRUE(q.Hold(front, data, node));
        }
        held.emplace_back(data, node);
        main.pop_front();
        break;
      case 7:
        // Held records from anywhere in the chain are let go of, one or several at once.
        if (held.empty()) break;
        if (random() % 2) {
          const std::size_t i = random() % held.size();
          ASSERT_TRUE(q.Remove(held[i].second, Chain::kHeld));
          held.erase(held.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
          std::vector<PatrolQueue::NodeId> nodes;
          std::erase_if(held, [&](const auto& h) {
            if (random() % 3 == 0) return false;
            nodes.push_back(h.second);
            return true;
          });
          std::shuffle(nodes.begin(), nodes.end(), random);
          ASSERT_TRUE(q.RemoveAll(nodes, Chain::kHeld)) << step;
        }
        break;
      case 8:
        if (main.empty()) break;
        ASSERT_TRUE(random() % 2 ? q.PopBack(data) : q.PopFront(data));
        ASSERT_TRUE(data == main.front().first || data == main.back().first) << step;
        if (data == main.front().first) {
          main.pop_front();
        } else {
          main.pop_back();
        }
        break;
      case 9: {
        // Another object changes the file (as a second process would); this one catches up.
        PatrolQueue other(LinkRecord::kVersion);
        ASSERT_TRUE(other.Open(path));
        if (main.empty() || random() % 2) {
          const std::string r = record();
          ASSERT_TRUE(other.Append(std::string_view(r)));
          main.emplace_back(r, 0);
        } else {
          ASSERT_TRUE(other.PopFront(data));
          main.pop_front();
        }
        other.Close();
        ASSERT_TRUE(q.Refresh());
        break;
      }
    }
    largest = std::max<std::uintmax_t>(largest, std::filesystem::file_size(path));
    if (step % 97 == 0) {
      check(q, "same object", step);
      PatrolQueue reader(LinkRecord::kVersion);
      ASSERT_TRUE(reader.OpenForReading(path));
      check(reader, "fresh object", step);
    }
  }
  check(q, "same object", 3000);
  // The file outgrew the first mapping the object made of it (a mebibyte) and the next one.
  EXPECT_GT(largest, std::uintmax_t{2} << 20);
}

TEST(PatrolQueue, AProcessKilledBetweenAnyTwoWritesLosesNoRecord) {
  struct Scenario {
    const char* what;
    std::vector<std::string> main, held;  // before the operation
    std::function<void(PatrolQueue&)> op;
    Found after;
    bool may_keep_both = false;  // a move may leave its record in both chains
  };
  std::string d;
  PatrolQueue::NodeId n;
  const Scenario scenarios[] = {
      {"append to empty",
       {},
       {},
       [](PatrolQueue& q) { q.Append(std::string_view("x")); },
       {{"x"}, {}}},
      {"append",
       {"a", "b"},
       {},
       [](PatrolQueue& q) { q.Append(std::string_view("x")); },
       {{"a", "b", "x"}, {}}},
      {"insert at front",
       {"a", "b"},
       {},
       [](PatrolQueue& q) { q.InsertFront(std::string_view("x")); },
       {{"x", "a", "b"}, {}}},
      {"insert into empty",
       {},
       {"h"},
       [](PatrolQueue& q) { q.InsertFront(std::string_view("x")); },
       {{"x"}, {"h"}}},
      {"pop front", {"a", "b", "c"}, {}, [&d](PatrolQueue& q) { q.PopFront(d); }, {{"b", "c"}, {}}},
      {"pop last record", {"a"}, {}, [&d](PatrolQueue& q) { q.PopFront(d); }, {{}, {}}},
      {"pop back", {"a", "b", "c"}, {}, [&d](PatrolQueue& q) { q.PopBack(d); }, {{"a", "b"}, {}}},
      {"hold front",
       {"a", "b"},
       {"h"},
       [&](PatrolQueue& q) { q.HoldFront(d, n); },
       {{"b"}, {"h", "a"}},
       true},
      {"hold front into an empty held chain",
       {"a", "b"},
       {},
       [&](PatrolQueue& q) { q.HoldFront(d, n); },
       {{"b"}, {"a"}},
       true},
      {"hold the only record",
       {"a"},
       {"h"},
       [&](PatrolQueue& q) { q.HoldFront(d, n); },
       {{}, {"h", "a"}},
       true},
      {"restore held",
       {"a"},
       {"h1", "h2"},
       [](PatrolQueue& q) { q.RestoreHeld(); },
       {{"h1", "h2", "a"}, {}},
       true},
      {"reset", {"a", "b"}, {"h"}, [](PatrolQueue& q) { q.Reset(); }, {{}, {}}},
  };
  auto all_records = [](const Found& f) {
    std::vector<std::string> all = f.main;
    all.insert(all.end(), f.held.begin(), f.held.end());
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
  };
  TempDir dir;
  const std::string path = dir.File("q");
  for (const Scenario& s : scenarios) {
    const Found before{s.main, s.held};
    // No operation needs 20 writes: the last rounds run it to its end.
    for (std::size_t writes = 0; writes <= 20; ++writes) {
      std::remove(path.c_str());
      {
        auto store = std::make_unique<test::CrashingQueueStore>();
        test::CrashingQueueStore& crash = *store;
        PatrolQueue q(LinkRecord::kVersion, std::move(store));
        ASSERT_TRUE(q.Open(path));
        for (const auto& r : s.main) q.Append(std::string_view(r));
        for (const auto& r : s.held) q.Append(std::string_view(r), Chain::kHeld);
        crash.CrashAfter(writes);
        s.op(q);
      }
      const Found found = Restart(path);
      if (writes == 20) {
        EXPECT_EQ(found, s.after) << s.what;
      } else if (!(found == before || found == s.after)) {
        // A move cut in the middle has its record in both chains, never in neither.
        EXPECT_TRUE(s.may_keep_both) << s.what << " cut after " << writes << " writes";
        EXPECT_EQ(all_records(found), all_records(before)) << s.what << " " << writes;
      }
    }
  }
}

TEST(PatrolQueue, RemovingSeveralHeldRecordsCutAtAnyWriteLosesNoOtherRecord) {
  // Runs of nodes to remove at the front, in the middle and at the back of the chain, and all of
  // it: cut after any write, every record that stays is still there in order, and a removed one
  // is either gone or still in its place.
  const std::vector<std::string> held = {"h0", "h1", "h2", "h3", "h4", "h5", "h6"};
  const std::vector<std::vector<std::size_t>> removals = {
      {0, 1, 2}, {2, 4, 5}, {5, 6}, {0, 3, 6}, {0, 1, 2, 3, 4, 5, 6}};
  TempDir dir;
  const std::string path = dir.File("q");
  for (const auto& removal : removals) {
    std::vector<std::string> want;
    for (std::size_t i = 0; i < held.size(); ++i) {
      if (std::find(removal.begin(), removal.end(), i) == removal.end()) want.push_back(held[i]);
    }
    for (std::size_t writes = 0; writes <= 12; ++writes) {
      std::remove(path.c_str());
      {
        auto store = std::make_unique<test::CrashingQueueStore>();
        test::CrashingQueueStore& crash = *store;
        PatrolQueue q(LinkRecord::kVersion, std::move(store));
        ASSERT_TRUE(q.Open(path));
        ASSERT_TRUE(q.Append(std::string_view("m")));
        std::vector<PatrolQueue::NodeId> nodes(held.size());
        for (std::size_t i = 0; i < held.size(); ++i) {
          ASSERT_TRUE(q.Append(std::string_view(held[i]), Chain::kHeld, &nodes[i]));
        }
        std::vector<PatrolQueue::NodeId> gone;
        for (std::size_t i : removal) gone.push_back(nodes[i]);
        crash.CrashAfter(writes);
        ASSERT_TRUE(q.RemoveAll(gone, Chain::kHeld));
        if (writes == 12) {
          EXPECT_EQ(Contents(q, Chain::kHeld), want);
        }
      }
      const Found found = Restart(path);
      EXPECT_EQ(found.main, std::vector<std::string>{"m"});
      if (writes == 12) {
        EXPECT_EQ(found.held, want);
      } else {
        // What is left is the held records in order, less some (or all) of those removed.
        std::size_t next = 0;
        for (const std::string& r : found.held) {
          while (next < held.size() && held[next] != r) {
            EXPECT_NE(std::find(removal.begin(), removal.end(), next), removal.end())
                << "record " << held[next] << " lost, cut after " << writes << " writes";
            ++next;
          }
          ASSERT_LT(next, held.size()) << r << " out of order, cut after " << writes;
          ++next;
        }
        for (; next < held.size(); ++next) {
          EXPECT_NE(std::find(removal.begin(), removal.end(), next), removal.end())
              << "record " << held[next] << " lost, cut after " << writes << " writes";
        }
      }
    }
  }
}

TEST(PatrolQueue, SurvivesRealKillsAtRandomMoments) {
  // A child appends ascending numbers at the back and pops at the front until it is killed; what
  // is left must always be one unbroken run of numbers, the first unpopped to the last appended.
  TempDir dir;
  const std::string path = dir.File("q");
  std::mt19937 random(12345);
  uint32_t next = 0;
  for (int round = 0; round < 25; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PatrolQueue q(LinkRecord::kVersion);
      if (!q.Open(path)) _exit(3);
      std::string data;
      for (uint32_t i = next;; ++i) {
        if (!q.Append(std::string_view(std::to_string(i)))) _exit(4);
        if (i % 3 == 0 && !q.PopFront(data)) _exit(5);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own with " << WEXITSTATUS(status);

    PatrolQueue q(LinkRecord::kVersion);
    ASSERT_TRUE(q.Open(path)) << "round " << round;
    const auto records = Contents(q, Chain::kMain);
    for (std::size_t i = 1; i < records.size(); ++i) {
      ASSERT_EQ(std::stoul(records[i]), std::stoul(records[i - 1]) + 1) << "round " << round;
    }
    if (!records.empty()) next = static_cast<uint32_t>(std::stoul(records.back())) + 1;
  }
}

// FNV-1a over the bytes, folded into `hash`.
uint64_t Fold(uint64_t hash, const std::string& bytes) {
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3u;
  return hash;
}

TEST(PatrolQueue, AFixedRunWritesTheSameBytesAsEver) {
  // Every operation, in a run fixed by its seed, with the file's bytes after each step folded
  // into one hash: the layout on disk (header words, node words, what an unlink or a cut back
  // leaves, what the repair on open writes) is what files already out there hold.
  TempDir dir;
  const std::string path = dir.File("golden.uq");
  std::mt19937 random(2024);
  uint64_t hash = 0xcbf29ce484222325u;
  std::size_t total = 0;
  PatrolQueue q(LinkRecord::kVersion);
  ASSERT_TRUE(q.Open(path));
  std::vector<PatrolQueue::NodeId> held;
  uint32_t serial = 0;
  auto record = [&] {
    std::string data = std::to_string(serial++) + ":";
    data.resize(data.size() + random() % 40, static_cast<char>('a' + serial % 26));
    return data;
  };
  for (int step = 0; step < 600; ++step) {
    std::string data;
    PatrolQueue::NodeId node = 0;
    switch (random() % 12) {
      case 0:
      case 1:
        ASSERT_TRUE(
            q.Append(std::string_view(record()), random() % 4 ? Chain::kMain : Chain::kHeld));
        break;
      case 2: {
        std::vector<std::string> rs(1 + random() % 5);
        for (auto& r : rs) r = record();
        ASSERT_TRUE(q.AppendAll(rs, random() % 3 ? Chain::kMain : Chain::kHeld));
        break;
      }
      case 3:
        ASSERT_TRUE(q.InsertFront(std::string_view(record())));
        break;
      case 4:
        if (q.PeekFront(data, node)) {
          ASSERT_TRUE(q.Remove(node, Chain::kMain));
        }
        break;
      case 5:
        if (q.IsEmpty()) break;
        if (random() % 2) {
          ASSERT_TRUE(q.HoldFront(data, node));
        } else {
          ASSERT_TRUE(q.PeekFront(data, node));
          PatrolQueue::NodeId after = 0;
          std::string next;
          // Not always the front: the record after it goes when there is one.
          if (random() % 2 && q.PeekAfter(node, next, after)) {
            node = after;
            data = next;
          }
          ASSERT_TRUE(q.Hold(node, data + "+", node));
        }
        held.push_back(node);
        break;
      case 6:
        if (held.empty()) break;
        if (random() % 2) {
          ASSERT_TRUE(q.Remove(held.back(), Chain::kHeld));
          held.pop_back();
        } else {
          ASSERT_TRUE(q.RemoveAll(held, Chain::kHeld));
          held.clear();
        }
        break;
      case 7:
        random() % 2 ? q.PopBack(data) : q.PopFront(data, Chain::kHeld);
        held.clear();  // a held node may have gone: the rest are left to RestoreHeld
        break;
      case 8:
        ASSERT_TRUE(q.RestoreHeld(
            [](std::string_view r) { return std::string(r.substr(0, r.size() / 2)); }));
        held.clear();
        break;
      case 9:
        if (random() % 8 == 0) {
          ASSERT_TRUE(q.Reset());
          held.clear();
        } else {
          q.Close();
          ASSERT_TRUE(q.Open(path));
        }
        break;
      case 10: {
        PatrolQueue other(LinkRecord::kVersion);
        ASSERT_TRUE(other.Open(path));
        ASSERT_TRUE(other.Append(std::string_view(record())));
        other.Close();
        ASSERT_TRUE(q.Refresh());
        break;
      }
      case 11: {
        // A process killed in the middle of an append or a pop; the next open repairs the file.
        auto store = std::make_unique<test::CrashingQueueStore>();
        test::CrashingQueueStore& crash = *store;
        PatrolQueue killed(LinkRecord::kVersion, std::move(store));
        ASSERT_TRUE(killed.Open(path));
        q.Close();
        crash.CrashAfter(random() % 4);
        random() % 2 ? (void)killed.InsertFront(std::string_view(record()))
                     : (void)killed.PopBack(data);
        killed.Close();
        ASSERT_TRUE(q.Open(path));
        held.clear();
        break;
      }
    }
    const std::string bytes = ReadFileBytes(path);
    hash = Fold(hash, bytes);
    total += bytes.size();
  }
  EXPECT_EQ(total, 1455204u);
  EXPECT_EQ(hash, 17067603671369570044u);
}

// The file pages the process has mapped and in memory, in kB.
long MappedFileKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("RssFile:")) return std::stol(line.substr(8));
  }
  return -1;
}

TEST(PatrolQueue, AQueueWalkedFromFrontToBackIsNotKeptInMemory) {
  // 25,000 records of 200 bytes (5 MB) taken from the front, as a patrol takes its queue: the
  // pages read through the mapping are let go of as the front moves on.
  TempDir dir;
  PatrolQueue q(LinkRecord::kVersion);
  ASSERT_TRUE(q.Open(dir.File("long.uq")));
  const std::string record(200, 'r');
  for (int i = 0; i < 25000; ++i) ASSERT_TRUE(q.Append(std::string_view(record)));
  const long before = MappedFileKb();
  ASSERT_GE(before, 0);
  long peak = before;
  std::string taken;
  for (int i = 0; q.PopFront(taken); ++i) {
    ASSERT_EQ(taken, record);
    if (i % 500 == 0) peak = std::max(peak, MappedFileKb());
  }
  EXPECT_LT(peak - before, 1024) << "kB of the queue file kept in memory";
}

}  // namespace
}  // namespace qlm
