#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

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

// Takes `count` files, writing into each; returns the files taken (path below `folder`, bytes) and
// the folder of each in the order taken.
void TakeAndWrite(SpareFiles& spares, const std::string& folder, std::size_t count,
                  std::map<std::string, std::string>* taken, std::vector<std::string>* folders) {
  for (std::size_t i = 0; i < count; ++i) {
    std::optional<SpareFiles::File> file = TakeWaiting(spares);
    ASSERT_TRUE(file) << "file " << i;
    ASSERT_TRUE(file->path.starts_with(folder)) << file->path;
    const std::string relative = file->path.substr(folder.size());
    const std::size_t slash = relative.rfind('/');
    ASSERT_TRUE(relative.substr(slash + 1).starts_with(kSpareName)) << file->path;
    const std::string bytes = "body " + std::to_string(i);
    ASSERT_EQ(::write(file->fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(file->fd);
    EXPECT_TRUE(taken->emplace(relative, bytes).second) << file->path;
    folders->push_back(slash == std::string::npos ? "" : relative.substr(0, slash + 1));
  }
}

TEST(SpareFiles, KeepsMakingFilesAsTheyAreTakenInTwoFoldersInTurnAndRemovesWhatIsLeftWhenItGoes) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/";
  const std::string side = std::string(kSpareFolderName) + "/";
  // A file a killed patrol left under the first number is neither taken nor cut.
  PutFile(folder + std::string(kSpareName) + "1", "left");
  std::map<std::string, std::string> taken;
  std::vector<std::string> folders;
  {
    SpareFiles spares(folder);
    // Far more than are kept at a time: the thread makes more as they go.
    TakeAndWrite(spares, folder, 4 * SpareFiles::kKept, &taken, &folders);
  }
  // The first round fills the work folder; later rounds go to the subfolder and back, so that the
  // files taken while one is made come from the other folder: the folder changes in runs of files.
  ASSERT_EQ(folders.size(), 4 * SpareFiles::kKept);
  EXPECT_EQ(folders[0], "");
  std::vector<std::string> runs{folders[0]};
  for (const std::string& f : folders) {
    ASSERT_TRUE(f.empty() || f == side) << f;
    if (f != runs.back()) runs.push_back(f);
  }
  EXPECT_GE(runs.size(), 3u);
  EXPECT_LE(runs.size(), folders.size() / 4);
  // Only the files taken stay, with what was written into them, beside the one left before.
  std::map<std::string, std::string> expected = taken;
  expected.emplace(std::string(kSpareName) + "1", "left");
  expected.emplace(side, "");  // it still holds files that were taken
  EXPECT_EQ(TreeOf(dir.Path()), expected);
  // They are temporary files: the next patrol's start removes them, and the subfolder.
  RemoveTemporaryFiles(folder);
  EXPECT_EQ(TreeOf(dir.Path()), (std::map<std::string, std::string>{}));
  // The subfolder goes with the spares when nothing taken is left in it.
  {
    SpareFiles spares(folder);
    taken.clear();
    folders.clear();
    TakeAndWrite(spares, folder, 2 * SpareFiles::kKept, &taken, &folders);
    for (const auto& [name, bytes] : taken) ::unlink((folder + name).c_str());
  }
  EXPECT_EQ(TreeOf(dir.Path()), (std::map<std::string, std::string>{}));
}

TEST(SpareFiles, WhereTheSubfolderCannotBeMadeAllFilesAreMadeInTheWorkFolder) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/";
  // Not a folder: it is left alone.
  PutFile(folder + std::string(kSpareFolderName), "in the way");
  std::map<std::string, std::string> taken;
  std::vector<std::string> folders;
  {
    SpareFiles spares(folder);
    TakeAndWrite(spares, folder, 3 * SpareFiles::kKept, &taken, &folders);
  }
  for (const std::string& f : folders) EXPECT_EQ(f, "");
  RemoveTemporaryFiles(folder);
  EXPECT_EQ(TreeOf(dir.Path()),
            (std::map<std::string, std::string>{{std::string(kSpareFolderName), "in the way"}}));
}

TEST(SpareFiles, ALinkInThePlaceOfTheSpareFolderIsNeitherFollowedNorRemoved) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/work/";
  const std::string elsewhere = dir.Path() + "/elsewhere/";
  PutFile(elsewhere + std::string(kSpareName) + "1", "not ours");
  PutFile(folder + std::string(kSpareName) + "1", "left");
  ASSERT_EQ(::symlink(elsewhere.c_str(), (folder + std::string(kSpareFolderName)).c_str()), 0);
  RemoveTemporaryFiles(folder);
  const auto tree = TreeOf(dir.Path());
  EXPECT_EQ(tree.count("elsewhere/" + std::string(kSpareName) + "1"), 1u);
  EXPECT_EQ(tree.count("work/" + std::string(kSpareName) + "1"), 0u);
  struct stat st {};
  EXPECT_EQ(::lstat((folder + std::string(kSpareFolderName)).c_str(), &st), 0);
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
