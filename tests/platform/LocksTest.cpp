#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/ApplicationLock.h"
#include "platform/Folders.h"
#include "platform/NamedMutex.h"
#include "tests/platform/ScopedEnv.h"
#include "tests/support/TempHome.h"

extern char** environ;

namespace qlm {
namespace {

// A child process that takes the named mutex, reports through a pipe, then runs `then` and
// exits. The parent reads one byte to know that the child holds it.
pid_t ChildHolding(const std::string& name, int report_fd, void (*then)(int)) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  NamedMutex mutex(name);
  const char ok = mutex.TryLock() ? 'y' : 'n';
  if (write(report_fd, &ok, 1) != 1) _exit(3);
  then(report_fd);
  _exit(0);
}

char ReadByte(int fd) {
  char byte = 0;
  return read(fd, &byte, 1) == 1 ? byte : '?';
}

TEST(NamedMutex, ExcludesOtherHoldersOfTheSameNameOnly) {
  NamedMutex first("Quillmere Download Engine");
  NamedMutex second("Quillmere Download Engine");
  NamedMutex other("Quillmere Download Engine 2");
  ASSERT_TRUE(first.TryLock());
  EXPECT_FALSE(second.TryLock());
  EXPECT_EQ(second.Error(), EWOULDBLOCK);
  EXPECT_TRUE(other.TryLock());
  first.Unlock();
  EXPECT_TRUE(second.TryLock());
  EXPECT_TRUE(second.IsHeld());
}

TEST(NamedMutex, LockFileNamesStayInTheRuntimeFolderAndNeverCollide) {
  const std::string folder = RuntimeFolder();
  ASSERT_FALSE(folder.empty());
  for (const char* name : {"..", "a/../../b", "Quillmere Download Engine", ""}) {
    const std::string path = NamedMutex::PathFor(name);
    EXPECT_EQ(path.rfind(folder, 0), 0u) << path;
    EXPECT_EQ(path.find('/', folder.size()), std::string::npos) << path;
  }
  EXPECT_NE(NamedMutex::PathFor("a b"), NamedMutex::PathFor("a_b"));
  EXPECT_NE(NamedMutex::PathFor("a%20b"), NamedMutex::PathFor("a b"));
}

TEST(NamedMutex, AnotherProcessHoldsItUntilItDies) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const pid_t child = ChildHolding("holder test", pipe_fds[1], [](int) { pause(); });
  ASSERT_EQ(ReadByte(pipe_fds[0]), 'y');

  NamedMutex mine("holder test");
  EXPECT_FALSE(mine.TryLock());
  kill(child, SIGKILL);  // no chance to unlock: the kernel must release it
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(mine.TryLock());
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST(NamedMutex, BlockingLockWaitsForTheHolder) {
  int report[2], release[2];
  ASSERT_EQ(pipe(report), 0);
  ASSERT_EQ(pipe(release), 0);
  static int release_read;
  release_read = release[0];
  const pid_t child = ChildHolding("blocking test", report[1], [](int) {
    char byte;
    (void)!read(release_read, &byte, 1);  // hold until the parent says so
  });
  ASSERT_EQ(ReadByte(report[0]), 'y');

  std::atomic<bool> locked{false};
  NamedMutex mine("blocking test");
  std::thread waiter([&] { locked = mine.Lock(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(locked);  // still waiting while the child holds it
  ASSERT_EQ(write(release[1], "x", 1), 1);
  waiter.join();
  EXPECT_TRUE(locked);
  waitpid(child, nullptr, 0);
  for (int fd : {report[0], report[1], release[0], release[1]}) close(fd);
}

TEST(NamedMutex, ProgramsStartedByTheHolderDoNotInheritIt) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  static int report_fd;
  report_fd = pipe_fds[1];
  // The holder starts a long-lived program, tells its pid, and exits.
  const pid_t child = ChildHolding("inherit test", pipe_fds[1], [](int) {
    pid_t sleeper;
    char arg0[] = "sleep", arg1[] = "30";
    char* argv[] = {arg0, arg1, nullptr};
    if (posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ) != 0) _exit(4);
    if (write(report_fd, &sleeper, sizeof sleeper) != sizeof sleeper) _exit(5);
  });
  ASSERT_EQ(ReadByte(pipe_fds[0]), 'y');
  pid_t sleeper = 0;
  ASSERT_EQ(read(pipe_fds[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(WEXITSTATUS(status), 0);

  NamedMutex mine("inherit test");
  EXPECT_TRUE(mine.TryLock());
  kill(sleeper, SIGKILL);
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST(NamedMutex, UnusableRuntimeFolderIsAnErrorNotAHold) {
  test::TempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("file"), ""));
  test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.File("file").c_str());
  NamedMutex mutex("Quillmere Download Engine");
  EXPECT_FALSE(mutex.TryLock());
  EXPECT_FALSE(mutex.Lock());
  EXPECT_NE(mutex.Error(), 0);
  EXPECT_FALSE(mutex.IsHeld());
}

TEST(ApplicationLock, IsOneReentrantLockForTheWholeProcess) {
  std::recursive_mutex& lock = ApplicationLock();
  EXPECT_EQ(&lock, &ApplicationLock());
  std::lock_guard outer(lock);
  std::lock_guard inner(lock);  // nested folder work on one thread must not deadlock
  bool other_thread_got_it = true;
  std::thread([&] { other_thread_got_it = ApplicationLock().try_lock(); }).join();
  EXPECT_FALSE(other_thread_got_it);
}

}  // namespace
}  // namespace qlm
