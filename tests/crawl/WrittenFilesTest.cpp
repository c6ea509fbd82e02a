// The remembered writes of a patrol against a plain map of the same operations.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "crawl/NameHash.h"
#include "crawl/WrittenFiles.h"

namespace qlm {
namespace {

FileTime At(std::int64_t ns) {
  return FileTime(std::chrono::duration_cast<FileTime::duration>(std::chrono::nanoseconds(ns)));
}

TEST(NameHash, TellsApartNamesThatDifferInAnyByteOrOnlyInLength) {
  // Each hash on its own, so that neither can hide a weakness of the other.
  std::set<std::uint64_t> first, second;
  std::size_t names = 0;
  const auto add = [&](const std::string& name) {
    const NameHash hash = NameHash::Of(name);
    first.insert(hash.first);
    second.insert(hash.second);
    ++names;
  };
  std::string base = "/tmp/mirror/p/127.0.0.1+8080/p/12/";
  for (int i = 0; i < 20000; ++i) add(base + std::to_string(i) + ".html");
  // One byte changed at every place of a name, and the name cut at every length, with NULs too.
  std::string name = base + "page.html";
  for (std::size_t at = 0; at < name.size(); ++at) {
    std::string changed = name;
    changed[at] = static_cast<char>(changed[at] ^ 1);
    add(changed);
    add(name.substr(0, at));
    add(name.substr(0, at) + std::string(1, '\0'));
  }
  EXPECT_EQ(first.size(), names);
  EXPECT_EQ(second.size(), names);
}

TEST(WrittenFiles, AgreesWithAMapThroughGrowthUpdatesAndRemovals) {
  WrittenFiles files;
  std::map<std::string, std::int64_t> expected;
  std::mt19937_64 random(7);
  // Few enough names that they come back often (updates, removals of present names), many enough
  // that the table grows several times and runs of neighbours form and break up.
  const auto name = [&] { return "/m/p/h/" + std::to_string(random() % 6000) + ".html"; };
  for (int step = 0; step < 60000; ++step) {
    const std::string path = name();
    if (random() % 4 == 0) {
      files.Forget(path);
      expected.erase(path);
    } else {
      const std::int64_t ns =
          1'700'000'000'000'000'000 + static_cast<std::int64_t>(random() % 1000000);
      files.Wrote(path, At(ns));
      expected[path] = ns;
    }
    if (step % 1000 == 999) {
      ASSERT_EQ(files.Size(), expected.size()) << "after step " << step;
      for (int k = 0; k < 6000; ++k) {
        const std::string probe = "/m/p/h/" + std::to_string(k) + ".html";
        const auto it = expected.find(probe);
        const std::optional<FileTime> found = files.Find(probe);
        ASSERT_EQ(found.has_value(), it != expected.end()) << probe << " after step " << step;
        if (found) {
          ASSERT_EQ(*found, At(it->second)) << probe;
        }
      }
    }
  }
  // Times keep their nanoseconds; a name never written is not found, nor a forgotten one twice.
  files.Wrote("/m/a", At(1'700'000'000'123'456'789));
  EXPECT_EQ(files.Find("/m/a"), At(1'700'000'000'123'456'789));
  EXPECT_FALSE(files.Find("/m/never"));
  files.Forget("/m/a");
  files.Forget("/m/a");
  EXPECT_FALSE(files.Find("/m/a"));
}

TEST(WrittenFiles, StopsGrowingAtItsLimitAndStillUpdatesWhatItHolds) {
  WrittenFiles files;
  const auto path = [](std::size_t i) { return "/m/p/h/" + std::to_string(i) + ".jpg"; };
  for (std::size_t i = 0; i < WrittenFiles::kMaxFiles + 500; ++i)
    files.Wrote(path(i), At(1000 + i));
  EXPECT_EQ(files.Size(), WrittenFiles::kMaxFiles);
  // The first ones are remembered; the rest are left to the file system.
  EXPECT_EQ(files.Find(path(0)), At(1000));
  EXPECT_EQ(files.Find(path(WrittenFiles::kMaxFiles - 1)), At(1000 + WrittenFiles::kMaxFiles - 1));
  EXPECT_FALSE(files.Find(path(WrittenFiles::kMaxFiles)));
  // A remembered file written again takes its new time; a forgotten one makes room for a new one.
  files.Wrote(path(7), At(5));
  EXPECT_EQ(files.Find(path(7)), At(5));
  files.Forget(path(8));
  files.Wrote(path(WrittenFiles::kMaxFiles + 1), At(6));
  EXPECT_EQ(files.Find(path(WrittenFiles::kMaxFiles + 1)), At(6));
  EXPECT_FALSE(files.Find(path(8)));
  EXPECT_EQ(files.Size(), WrittenFiles::kMaxFiles);
}

TEST(WrittenFiles, AMadeFolderHoldsOnlyTheFilesWrittenThereWhileAllCanBeRemembered) {
  WrittenFiles files;
  files.MadeFolder("/m/p/h");
  EXPECT_TRUE(files.InMadeFolder("/m/p/h/a.html"));
  EXPECT_FALSE(files.InMadeFolder("/m/p/h/d/a.html"));  // a folder below it was there or is new
  EXPECT_FALSE(files.InMadeFolder("/m/p/hx/a.html"));
  EXPECT_FALSE(files.InMadeFolder("/m/p/h"));
  EXPECT_FALSE(files.Find("/m/p/h"));  // the folder is not a file
  files.Wrote("/m/p/h/a.html", At(1));
  files.Forget("/m/p/h/a.html");  // removed: still not there
  EXPECT_TRUE(files.InMadeFolder("/m/p/h/a.html"));
  // Once a file written there cannot be remembered, the folder no longer tells what it holds.
  for (std::size_t i = 0; i < WrittenFiles::kMaxFiles; ++i)
    files.Wrote("/m/q/" + std::to_string(i), At(static_cast<std::int64_t>(i)));
  files.Wrote("/m/p/h/a.html", At(2));
  EXPECT_FALSE(files.Find("/m/p/h/a.html"));
  EXPECT_FALSE(files.InMadeFolder("/m/p/h/a.html"));
  EXPECT_FALSE(files.InMadeFolder("/m/p/h/b.html"));
}

TEST(WrittenFiles, ANameWithAnEmptyFolderNameIsAnotherNameOfAFileInAMadeFolder) {
  WrittenFiles files;
  files.MadeFolder("/m/p/h/d");
  files.MadeFolder("/m/p/h//e");  // the folder "/m/p/h/e" under another name
  EXPECT_FALSE(files.InMadeFolder("/m/p/h//e/x.html"));
  EXPECT_TRUE(files.InMadeFolder("/m/p/h/d/x.html"));
  // "/m/p/h//d/x.html" is the file "/m/p/h/d/x.html": looked up by its other name, it is there.
  files.Wrote("/m/p/h//d/x.html", At(1));
  EXPECT_FALSE(files.InMadeFolder("/m/p/h/d/x.html"));
}

}  // namespace
}  // namespace qlm
