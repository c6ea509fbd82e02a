// Named shared memory: exact sizes, the creator's lifetime, and blocks that stay with their user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/Folders.h"
#include "platform/SharedMemory.h"
#include "tests/platform/ScopedEnv.h"
#include "tests/support/TempHome.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

constexpr char kBlock[] = "Quillmere Memory Mapped File";

TEST(SharedMemory, ReaderSeesTheCreatorsBytesInABlockOfExactlyItsSize) {
  SharedMemory writer;
  ASSERT_TRUE(writer.Create(kBlock, 4099)) << std::strerror(writer.Error());
  ASSERT_EQ(writer.Size(), 4099u);
  for (size_t i = 0; i < writer.Size(); ++i) writer.Data()[i] = static_cast<std::uint8_t>(i * 7);

  SharedMemory reader;
  ASSERT_TRUE(reader.OpenForReading(kBlock)) << std::strerror(reader.Error());
  ASSERT_EQ(reader.Size(), 4099u);
  EXPECT_EQ(std::memcmp(reader.Data(), writer.Data(), 4099), 0);

  // The creator's close withdraws the name; a reader keeps its view until it closes.
  writer.Close();
  EXPECT_EQ(reader.Data()[4098], static_cast<std::uint8_t>(4098 * 7));
  SharedMemory late;
  EXPECT_FALSE(late.OpenForReading(kBlock));
  EXPECT_EQ(late.Error(), ENOENT);
  EXPECT_FALSE(late.IsOpen());
}

TEST(SharedMemory, EachCreateMakesAFreshBlockOfTheNewSizeWhateverWasLeft) {
  // A program that ended without closing leaves its block under the name.
  const std::string object = SharedMemory::ObjectName(kBlock, geteuid());
  const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 1 << 20), 0);
  close(fd);

  for (size_t size : {size_t{16}, size_t{100000}, size_t{20}}) {
    SharedMemory block;
    ASSERT_TRUE(block.Create(kBlock, size)) << std::strerror(block.Error());
    SharedMemory reader;
    ASSERT_TRUE(reader.OpenForReading(kBlock));
    EXPECT_EQ(reader.Size(), size);
    EXPECT_EQ(reader.Data()[size - 1], 0);  // reserved memory reads as zeros
  }
  SharedMemory empty;
  EXPECT_FALSE(empty.Create(kBlock, 0));
  EXPECT_EQ(empty.Error(), EINVAL);
}

TEST(SharedMemory, ObjectNamesAreOnePathPartPerUserAndRuntimeFolder) {
  const std::string mine = SharedMemory::ObjectName(kBlock, 1000);
  EXPECT_EQ(mine.rfind("/quillmere-1000-", 0), 0u) << mine;
  EXPECT_NE(SharedMemory::ObjectName(kBlock, 1001), mine);
  EXPECT_NE(SharedMemory::ObjectName("Quillmere Memory Mapped File 2", 1000), mine);
  EXPECT_EQ(SharedMemory::ObjectName("../a/b", 1000).find('/', 1), std::string::npos);
  test::TempDir other_home;
  test::ScopedEnv runtime("XDG_RUNTIME_DIR", other_home.Path().c_str());
  EXPECT_NE(SharedMemory::ObjectName(kBlock, 1000), mine);
}

TEST(SharedMemory, ABlockThatOthersCouldReadOrWriteIsNeverOpened) {
  const std::string object = SharedMemory::ObjectName(kBlock, geteuid());
  const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 64), 0);
  ASSERT_EQ(fchmod(fd, 0666), 0);
  SharedMemory reader;
  EXPECT_FALSE(reader.OpenForReading(kBlock));
  EXPECT_EQ(reader.Error(), EPERM);
  if (geteuid() == 0) {
    // Only root can hand an object to another user; the receiving side must refuse it too.
    ASSERT_EQ(fchmod(fd, 0600), 0);
    ASSERT_EQ(fchown(fd, 54321, 54321), 0);
    EXPECT_FALSE(reader.OpenForReading(kBlock));
    EXPECT_EQ(reader.Error(), EPERM);
  }
  close(fd);
  shm_unlink(object.c_str());
}

// Two users on one machine, both with the block of the same name: each keeps its own picture and
// neither can open the other's. Needs root to become a second user.
TEST(SharedMemory, TwoUsersWithTheSameBlockNameNeverShareIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a second user";
  constexpr uid_t kOther = 54321;
  test::Watchdog dog;
  test::TempDir other_runtime("/tmp");  // TMPDIR may be closed to the other user
  ASSERT_EQ(chown(other_runtime.Path().c_str(), kOther, kOther), 0);
  ASSERT_EQ(chmod(other_runtime.Path().c_str(), 0700), 0);
  SharedMemory mine;
  ASSERT_TRUE(mine.Create(kBlock, 8));
  std::memcpy(mine.Data(), "rootroot", 8);
  const std::string my_object = SharedMemory::ObjectName(kBlock, geteuid());

  // Two pipes, so that a child that fails early ends the parent's wait instead of hanging it.
  int up[2];
  int down[2];
  ASSERT_EQ(pipe(up), 0);
  ASSERT_EQ(pipe(down), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(up[0]);
    close(down[1]);
    setenv("XDG_RUNTIME_DIR", other_runtime.Path().c_str(), 1);
    if (setgid(kOther) != 0 || setuid(kOther) != 0) _exit(10);
    SharedMemory block;
    if (!block.Create(kBlock, 8)) _exit(11);
    std::memcpy(block.Data(), "otherusr", 8);
    SharedMemory check;
    if (!check.OpenForReading(kBlock) || std::memcmp(check.Data(), "otherusr", 8) != 0) _exit(12);
    // Root's block, by its exact object name, is closed to this user.
    if (shm_open(my_object.c_str(), O_RDONLY, 0) >= 0 || errno != EACCES) _exit(13);
    // The other user's session has its own runtime folder; it tells its object name.
    const std::string name = SharedMemory::ObjectName(kBlock, kOther);
    if (write(up[1], name.c_str(), name.size()) != static_cast<ssize_t>(name.size())) _exit(14);
    char go = 0;
    if (read(down[0], &go, 1) != 0) _exit(15);  // holds the block until the parent has looked
    block.Close();  // _exit runs no destructors, and the block's name must not outlive the test
    _exit(0);
  }
  close(up[1]);
  close(down[0]);
  char name[256] = {};
  const bool child_ready = read(up[0], name, sizeof name - 1) > 0;
  const std::string theirs = name;
  if (child_ready) {
    SharedMemory check;
    ASSERT_TRUE(check.OpenForReading(kBlock));
    EXPECT_EQ(std::memcmp(check.Data(), "rootroot", 8), 0);
    struct stat st;
    const int their_fd = shm_open(theirs.c_str(), O_RDONLY, 0);
    EXPECT_GE(their_fd, 0);  // root may look: the block is theirs, and only theirs
    if (their_fd >= 0) {
      EXPECT_EQ(fstat(their_fd, &st), 0);
      EXPECT_EQ(st.st_uid, kOther);
      EXPECT_EQ(st.st_mode & 0777, 0600u);
      close(their_fd);
    }
  }
  close(down[1]);  // lets the child go
  close(up[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "the other user's side failed at step " << WEXITSTATUS(status);
  EXPECT_TRUE(child_ready);
}

}  // namespace
}  // namespace qlm
