#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/Profile.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

constexpr char kSection[] = "Application Settings";

TEST(Profile, MissingFileOrValueGivesTheCallersDefault) {
  TempDir dir;
  const Profile profile(dir.File("absent/Quillmere.ini"));
  EXPECT_EQ(profile.GetProfileInt(kSection, "ProxyPort", 8080), 8080);
  EXPECT_EQ(profile.GetProfileString(kSection, "ProxyName", "none"), "none");

  ASSERT_TRUE(WriteFileBytes(dir.File("Quillmere.ini"), "[Application Settings]\nOther=1\n"));
  const Profile present(dir.File("Quillmere.ini"));
  EXPECT_EQ(present.GetProfileInt(kSection, "ProxyPort", -7), -7);
  EXPECT_EQ(present.GetProfileInt(kSection, "Other", -7), 1);
}

TEST(Profile, ValuesOfEveryByteSurviveTheFileAndANewProfileObject) {
  TempDir dir;
  const std::string path = dir.File("config/Brackwater/Quillmere.ini");
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  {
    Profile writer(path);
    ASSERT_TRUE(writer.WriteProfileString(kSection, "Bytes", all));
    ASSERT_TRUE(writer.WriteProfileInt(kSection, "Negative", INT32_MIN));
    ASSERT_TRUE(writer.WriteProfileInt("Settings", "Zero", 0));
  }
  const Profile reader(path);
  EXPECT_EQ(reader.GetProfileString(kSection, "Bytes", ""), all);
  EXPECT_EQ(reader.GetProfileInt(kSection, "Negative", 1), INT32_MIN);
  EXPECT_EQ(reader.GetProfileInt("Settings", "Zero", 1), 0);

  // The file stays a line-per-value text whatever the values hold.
  const std::string text = ReadFileBytes(path);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << text;
  EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST(Profile, WriteKeepsUnknownLinesAndOtherSections) {
  TempDir dir;
  const std::string path = dir.File("Quillmere.ini");
  const std::string before =
      "; keep me\n[Recent File List]\nFile1=/home/u/a.prj\n\n[Application Settings]\n"
      "junk without equals\nProxyPort=1\n";
  ASSERT_TRUE(WriteFileBytes(path, before));
  Profile profile(path);
  ASSERT_TRUE(profile.WriteProfileInt(kSection, "ProxyPort", 3128));
  std::string expected = before;
  expected.replace(expected.find("ProxyPort=1"), 11, "ProxyPort=3128");
  EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST(Profile, WriteReplacesTheFileAndLeavesNoTemporaryFiles) {
  TempDir dir;
  const std::string path = dir.File("Quillmere.ini");
  ASSERT_TRUE(WriteFileBytes(path, "[S]\nA=1\n"));
  // The old file stays open: a file system hands a freed inode number to the next new file, so
  // without this the new file could carry the old one's number (every second write does, here).
  const int old_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(old_fd, 0);
  struct stat old_file;
  ASSERT_EQ(fstat(old_fd, &old_file), 0);
  Profile profile(path);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(profile.WriteProfileInt("S", "A", i));

  struct stat new_file;
  ASSERT_EQ(stat(path.c_str(), &new_file), 0);
  EXPECT_NE(old_file.st_ino, new_file.st_ino);  // renamed over, not rewritten in place
  EXPECT_EQ(ReadFileBytes("/proc/self/fd/" + std::to_string(old_fd)), "[S]\nA=1\n");
  close(old_fd);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Quillmere.ini", "Quillmere.ini.lock"}));
}

TEST(Profile, WritingWhatTheFileHoldsLeavesTheFileAlone) {
  TempDir dir;
  const std::string path = dir.File("Quillmere.ini");
  ASSERT_TRUE(WriteFileBytes(path, "[S]\nA=1\nB=text\n"));
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  Profile profile(path);
  ASSERT_TRUE(profile.WriteProfileInt("S", "A", 1));
  ASSERT_TRUE(profile.WriteProfileString("S", "B", "text"));
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  // A change is written.
  ASSERT_TRUE(profile.WriteProfileString("S", "B", "other"));
  EXPECT_EQ(ReadFileBytes(path), "[S]\nA=1\nB=other\n");
}

TEST(Profile, NewFileIsPrivateAndAnExistingFileKeepsItsMode) {
  TempDir dir;
  Profile fresh(dir.File("new/Quillmere.ini"));
  ASSERT_TRUE(fresh.WriteProfileInt("S", "A", 1));
  struct stat st;
  ASSERT_EQ(stat(fresh.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  ASSERT_EQ(chmod(fresh.Path().c_str(), 0640), 0);
  ASSERT_TRUE(fresh.WriteProfileInt("S", "A", 2));
  ASSERT_EQ(stat(fresh.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(Profile, LinkedSettingsFileStaysLinked) {
  TempDir dir;
  const std::string target = dir.File("dotfiles.ini");
  const std::string link = dir.File("Quillmere.ini");
  ASSERT_TRUE(WriteFileBytes(target, "[S]\nA=1\n"));
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  Profile profile(link);
  ASSERT_TRUE(profile.WriteProfileInt("S", "A", 2));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(target), "[S]\nA=2\n");
}

TEST(Profile, UnreadableFileGivesDefaultsAndIsNeverReplaced) {
  TempDir dir;
  // A folder where the file should be: unreadable as a file, even for root.
  const std::string path = dir.File("Quillmere.ini");
  ASSERT_TRUE(fs::create_directory(path));
  Profile profile(path);
  EXPECT_EQ(profile.GetProfileInt("S", "A", 5), 5);
  IniFile file;
  EXPECT_FALSE(profile.Load(&file));
  EXPECT_FALSE(profile.WriteProfileInt("S", "A", 1));
  EXPECT_EQ(profile.Error(), EISDIR);
  EXPECT_TRUE(fs::is_directory(path));
}

TEST(Profile, FailedWritesSayWhyAndChangeNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("plain"), "x"));
  Profile blocked(dir.File("plain/Brackwater/Quillmere.ini"));
  EXPECT_FALSE(blocked.WriteProfileInt("S", "A", 1));
  EXPECT_EQ(blocked.Error(), ENOTDIR);

  ASSERT_TRUE(WriteFileBytes(dir.File("Quillmere.ini"), "[S]\nA=1\n"));
  Profile profile(dir.File("Quillmere.ini"));
  EXPECT_FALSE(profile.WriteProfileString("S", "bad=name", "v"));
  EXPECT_EQ(profile.Error(), EINVAL);
  EXPECT_FALSE(profile.Update([](IniFile& file) {
    file.SetNumber("S", "A", 99);
    return false;  // abandoned half-way: nothing may reach the disk
  }));
  EXPECT_EQ(ReadFileBytes(dir.File("Quillmere.ini")), "[S]\nA=1\n");
  EXPECT_TRUE(profile.WriteProfileInt("S", "A", 2));
  EXPECT_EQ(profile.Error(), 0);
}

std::string ValueName(int writer, int value) {
  std::string name = "W";  // appended piece by piece: GCC 12 warns falsely on "W" + to_string
  name.append(std::to_string(writer)).append("V").append(std::to_string(value));
  return name;
}

TEST(Profile, ConcurrentWritersLoseNoValue) {
  TempDir dir;
  const std::string path = dir.File("Quillmere.ini");
  constexpr int kWriters = 4;
  constexpr int kValues = 25;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      Profile profile(path);  // one object per writer, as separate programs would have
      for (int v = 0; v < kValues; ++v) {
        profile.WriteProfileInt("S", ValueName(w, v), v);
      }
    });
  }
  for (auto& writer : writers) writer.join();
  const Profile reader(path);
  for (int w = 0; w < kWriters; ++w) {
    for (int v = 0; v < kValues; ++v) {
      EXPECT_EQ(reader.GetProfileInt("S", ValueName(w, v), -1), v);
    }
  }
}

}  // namespace
}  // namespace qlm
