#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "platform/WholeFile.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Restores the process's umask when the test ends.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }

 private:
  mode_t old_;
};

// Files are read whole whatever their size, and a file that tells no size (as those of /proc
// do) is read to its end.
TEST(WholeFile, ReadWholeFileReadsEveryByteOfFilesOfAnySize) {
  test::TempDir dir;
  for (const std::size_t size : {0, 1, 65535, 65536, 200001}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    const std::string path = dir.File(std::to_string(size) + ".bin");
    test::WriteFileBytes(path, bytes);
    std::string read = "old";
    ASSERT_TRUE(ReadWholeFile(path, read)) << size;
    EXPECT_EQ(read, bytes) << size;
  }
  std::string status;
  ASSERT_TRUE(ReadWholeFile("/proc/self/status", status));
  EXPECT_TRUE(status.starts_with("Name:")) << status;
  EXPECT_NE(status.find("\nPid:"), std::string::npos);
  // A long one of them too, where the kernel has it.
  std::ifstream symbols("/proc/kallsyms", std::ios::binary);
  const std::string streamed{std::istreambuf_iterator<char>(symbols), {}};
  if (streamed.size() > 65536) {
    std::string whole;
    ASSERT_TRUE(ReadWholeFile("/proc/kallsyms", whole));
    EXPECT_EQ(whole.size(), streamed.size());
  }
}

// What is not a regular file is refused, and the caller learns why: settings and list files treat
// a missing file as an empty one, anything else as a failure.
TEST(WholeFile, ReadWholeFileTellsWhyNothingWasRead) {
  test::TempDir dir;
  const struct {
    std::string path;
    int error;
  } rows[] = {
      {dir.File("missing"), ENOENT},
      {dir.Path(), EISDIR},
      {"/dev/null", EINVAL},
      {dir.File("missing/below"), ENOENT},
  };
  for (const auto& row : rows) {
    std::string bytes = "old";
    int error = 0;
    EXPECT_FALSE(ReadWholeFile(row.path, bytes, &error)) << row.path;
    EXPECT_EQ(error, row.error) << row.path;
    EXPECT_EQ(bytes, "") << row.path;
  }
}

// Each way of replacing leaves the target with the new bytes, the mode asked for (or that of a new
// file under the umask), and nothing else in the folder but what was there: a leftover ".tmp" of a
// cut-off replacement is taken up by the fixed name.
TEST(WholeFile, ReplacementsLeaveTheTargetAloneInItsFolderWithItsMode) {
  const struct {
    const char* name;
    ReplaceOptions options;
    mode_t umask;
    mode_t mode;
  } rows[] = {
      {"settings keep a mode given", {.mode = 0640}, 077, 0640},
      {"list files are 0644 under any umask", {.mode = 0644}, 077, 0644},
      {"the mirror's files follow the umask", MirrorReplacement(false), 027, 0640},
      {"durable mirror files too", MirrorReplacement(true), 022, 0644},
      {"a queue backup follows the umask", {.temporary = TemporaryName::kFixed}, 002, 0664},
      {"a fixed name of another suffix, made with a mode less the umask",
       {.temporary = TemporaryName::kFixed, .suffix = ".new", .create_mode = 0640},
       002,
       0640},
  };
  for (const auto& row : rows) {
    test::TempDir dir;
    const std::string target = dir.File("target");
    ScopedUmask mask(row.umask);
    ASSERT_TRUE(test::WriteFileBytes(target + ".tmp", "cut off"));
    ASSERT_TRUE(test::WriteFileBytes(target, "old"));
    ASSERT_EQ(ReplaceFileWithBytes(target, "new bytes", row.options), 0) << row.name;
    EXPECT_EQ(test::ReadFileBytes(target), "new bytes") << row.name;
    EXPECT_EQ(ModeOf(target), row.mode) << row.name;
    std::set<std::string> expected{"target", "target.tmp"};
    if (row.options.temporary == TemporaryName::kFixed) {
      expected.erase("target" + std::string(row.options.suffix));
    }
    EXPECT_EQ(NamesIn(dir.Path()), expected) << row.name;
  }
}

// A replacement that fails at any step leaves the old file as it was and takes its temporary file
// away, whichever name it had.
TEST(WholeFile, AFailedReplacementLeavesTheOldFile) {
  for (const TemporaryName temporary :
       {TemporaryName::kSuffixed, TemporaryName::kHidden, TemporaryName::kFixed}) {
    test::TempDir dir;
    const std::string path = dir.File("page.html");
    ASSERT_TRUE(test::WriteFileBytes(path, "whole old page"));
    const ReplaceOptions options{.temporary = temporary, .flush = Flush::kData};
    const int error = ReplaceFile(path, options, [](int fd) {
      (void)!::write(fd, "half", 4);
      return EIO;
    });
    EXPECT_EQ(error, EIO);
    EXPECT_EQ(ReplaceFileWithCopy(path, dir.File("missing"), options), ENOENT);
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"page.html"});
    EXPECT_EQ(test::ReadFileBytes(path), "whole old page");
  }
}

// A copy replaces its target with every byte of the source, however many reads that takes.
TEST(WholeFile, ACopyCarriesEveryByte) {
  test::TempDir dir;
  std::string bytes(200001, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 253);
  ASSERT_TRUE(test::WriteFileBytes(dir.File("source"), bytes));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("copy"), "old"));
  ASSERT_EQ(ReplaceFileWithCopy(dir.File("copy"), dir.File("source"), MirrorReplacement(true)), 0);
  EXPECT_EQ(test::ReadFileBytes(dir.File("copy")), bytes);
}

}  // namespace
}  // namespace qlm
