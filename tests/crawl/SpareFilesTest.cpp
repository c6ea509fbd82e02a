#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "crawl/MirrorFiles.h"
#include "crawl/SpareFiles.h"
#include "tests/crawl/MirrorTree.h"

namespace qlm {
namespace {

using test::PutFile;
using test::TreeOf;

// Takes a file, waiting a while for the thread to make one.
std::optional<SpareFiles::File> TakeWaiting(SpareFiles& spares) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (auto file = spares.Take()) return file;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return std::nullopt;
}

TEST(SpareFiles, KeepsMakingFilesAsTheyAreTakenAndRemovesWhatIsLeftWhenItGoes) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/";
  // A file a killed patrol left under the first number is neither taken nor cut.
  PutFile(folder + std::string(kSpareName) + "1", "left");
  std::map<std::string, std::string> taken;
  {
    SpareFiles spares(folder);
    // Far more than are kept at a time: the thread makes more as they go.
    for (std::size_t i = 0; i < 3 * SpareFiles::kKept; ++i) {
      std::optional<SpareFiles::File> file = TakeWaiting(spares);
      ASSERT_TRUE(file) << "file " << i;
      ASSERT_TRUE(file->path.starts_with(folder + std::string(kSpareName)));
      const std::string bytes = "body " + std::to_string(i);
      ASSERT_EQ(::write(file->fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
      ::close(file->fd);
      EXPECT_TRUE(taken.emplace(file->path.substr(folder.size()), bytes).second) << file->path;
    }
  }
  // Only the files taken stay, with what was written into them, beside the one left before.
  std::map<std::string, std::string> expected = taken;
  expected.emplace(std::string(kSpareName) + "1", "left");
  EXPECT_EQ(TreeOf(dir.Path()), expected);
  // They are temporary files: the next patrol's start removes them.
  RemoveTemporaryFiles(folder);
  EXPECT_EQ(TreeOf(dir.Path()), (std::map<std::string, std::string>{}));
}

TEST(SpareFiles, InAFolderThatCannotHoldFilesNoneIsReadyAndTheThreadEnds) {
  test::TempDir dir;
  SpareFiles spares(dir.Path() + "/missing/");
  for (int i = 0; i < 20; ++i) {
    EXPECT_FALSE(spares.Take());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(TreeOf(dir.Path()), (std::map<std::string, std::string>{}));
}

}  // namespace
}  // namespace qlm
