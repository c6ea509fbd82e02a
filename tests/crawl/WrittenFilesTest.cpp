// The remembered writes of a patrol against a plain map of the same operations.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "crawl/WrittenFiles.h"

namespace qlm {
namespace {

FileTime At(std::int64_t ns) {
  return FileTime(std::chrono::duration_cast<FileTime::duration>(std::chrono::nanoseconds(ns)));
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
        if (found) ASSERT_EQ(*found, At(it->second)) << probe;
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

}  // namespace
}  // namespace qlm
