#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/Folders.h"
#include "tests/platform/ScopedEnv.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

TEST(Folders, XdgVariablesPlaceSettingsAndData) {
  ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
  ScopedEnv data("XDG_DATA_HOME", "/data/");
  EXPECT_EQ(SettingsFilePath(), "/cfg/Brackwater/Quillmere.ini");
  EXPECT_EQ(DataFolder(), "/data/Quillmere/");
}

TEST(Folders, UnsetEmptyOrRelativeXdgVariablesFallBackToTheHome) {
  ScopedEnv home("HOME", "/home/someone");
  for (const char* value : {static_cast<const char*>(nullptr), "", "relative/path"}) {
    ScopedEnv config("XDG_CONFIG_HOME", value);
    ScopedEnv data("XDG_DATA_HOME", value);
    EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/Brackwater/Quillmere.ini");
    EXPECT_EQ(DataFolder(), "/home/someone/.local/share/Quillmere/");
  }
}

TEST(Folders, DataFolderIsCreatedWithItsParents) {
  TempDir dir;
  ScopedEnv data("XDG_DATA_HOME", dir.File("a/b").c_str());
  ASSERT_TRUE(CreateDataFolder());
  EXPECT_TRUE(fs::is_directory(dir.File("a/b/Quillmere")));
  EXPECT_TRUE(CreateDataFolder());  // a second start finds it
}

TEST(Folders, CreateFoldersFailsThroughAFileAndOnAFile) {
  TempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("file"), "x"));
  errno = 0;
  EXPECT_FALSE(CreateFolders(dir.File("file/sub/"), 0755));
  EXPECT_EQ(errno, ENOTDIR);
  EXPECT_FALSE(CreateFolders(dir.File("file"), 0755));
  EXPECT_EQ(errno, ENOTDIR);
  EXPECT_FALSE(CreateFolders("", 0755));
  EXPECT_TRUE(CreateFolders(dir.File("x/y/z"), 0755));
  EXPECT_TRUE(fs::is_directory(dir.File("x/y/z")));
}

TEST(Folders, RuntimeFolderIsPrivateAndEndsInSlash) {
  TempDir dir;
  ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
  const std::string folder = RuntimeFolder();
  ASSERT_EQ(folder, dir.Path() + "/quillmere/");
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(RuntimeFolder(), folder);  // found again, not refused
}

TEST(Folders, RuntimeFolderThatOthersCouldTamperWithIsRefused) {
  TempDir dir;
  ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
  // Open to others.
  ASSERT_EQ(mkdir(dir.File("quillmere").c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir.File("quillmere").c_str(), 0777), 0);
  EXPECT_EQ(RuntimeFolder(), "");
  // A link planted in its place.
  fs::remove(dir.File("quillmere"));
  TempDir elsewhere;
  ASSERT_EQ(symlink(elsewhere.Path().c_str(), dir.File("quillmere").c_str()), 0);
  EXPECT_EQ(RuntimeFolder(), "");
  // A file in its place.
  fs::remove(dir.File("quillmere"));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("quillmere"), ""));
  EXPECT_EQ(RuntimeFolder(), "");
}

TEST(Folders, ExecutableFolderHoldsTheRunningProgram) {
  const fs::path program = fs::canonical("/proc/self/exe");
  EXPECT_EQ(ExecutableFolder(), program.parent_path().string() + "/");
}

}  // namespace
}  // namespace qlm
