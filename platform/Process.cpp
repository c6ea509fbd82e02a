#include "platform/Process.h"

#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace qlm {

namespace {

// Collects the exit status of every started program on one thread, however many run: each is
// watched through a pidfd (or, where the kernel has none, looked at once a second), and the thread
// sleeps while none ends. It lives as long as the process.
class Reaper {
 public:
  static Reaper& Instance() {
    static Reaper* reaper = new Reaper;
    return *reaper;
  }

  void Add(pid_t pid) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    std::lock_guard lock(mutex_);
    children_.push_back({pid, pidfd});
    if (!started_) {
      try {
        std::thread([this] { Run(); }).detach();
        started_ = true;
      } catch (const std::system_error&) {
        // Reaped by the next start that gets its thread.
      }
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof one);
  }

 private:
  struct Child {
    pid_t pid;
    int pidfd;  // -1 where the kernel gave none
  };

  Reaper() : wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

  void Run() {
    for (;;) {
      std::vector<pollfd> fds{{wake_fd_, POLLIN, 0}};
      bool unwatched = false;
      {
        std::lock_guard lock(mutex_);
        for (const Child& child : children_) {
          if (child.pidfd >= 0) fds.push_back({child.pidfd, POLLIN, 0});
          unwatched = unwatched || child.pidfd < 0;
        }
      }
      if (::poll(fds.data(), fds.size(), unwatched ? 1000 : -1) < 0 && errno != EINTR) return;
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = ::read(wake_fd_, &count, sizeof count);
      std::lock_guard lock(mutex_);
      std::erase_if(children_, [](const Child& child) {
        int status = 0;
        pid_t reaped = ::waitpid(child.pid, &status, WNOHANG);
        while (reaped < 0 && errno == EINTR) reaped = ::waitpid(child.pid, &status, WNOHANG);
        if (reaped == 0) return false;  // still running
        if (child.pidfd >= 0) ::close(child.pidfd);
        return true;
      });
    }
  }

  const int wake_fd_;
  std::mutex mutex_;
  std::vector<Child> children_;  // started and not yet reaped
  bool started_ = false;
};

}  // namespace

bool StartProgram(const std::string& path, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
  if (error != 0) {
    errno = error;
    return false;
  }
  // The started program lives on its own; only its exit status is collected.
  Reaper::Instance().Add(pid);
  return true;
}

}  // namespace qlm
