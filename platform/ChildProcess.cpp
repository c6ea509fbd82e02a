#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace qlm {

namespace {

using SteadyClock = std::chrono::steady_clock;

int RemainingMs(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

std::string VariableName(const std::string& assignment) {
  return assignment.substr(0, assignment.find('='));
}

// The one way a child is started. `output`, when not -1, becomes the child's standard output and
// error, and its standard input /dev/null; otherwise it has the caller's three. `search`: argv[0]
// is looked up in PATH when it holds no "/". 0 or the errno value.
int Spawn(const std::vector<std::string>& argv, char* const* envp, int output, bool search,
          pid_t* pid) {
  std::vector<char*> argp;
  for (const std::string& a : argv) argp.push_back(const_cast<char*>(a.c_str()));
  argp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output >= 0) {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_adddup2(&actions, output, 2);
  }
  const int rc = search ? posix_spawnp(pid, argp[0], &actions, nullptr, argp.data(), envp)
                        : posix_spawn(pid, argp[0], &actions, nullptr, argp.data(), envp);
  posix_spawn_file_actions_destroy(&actions);
  return rc;
}

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

ChildProcess::~ChildProcess() {
  Kill();
  if (out_fd_ >= 0) close(out_fd_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extra_env) {
  if (pid_ > 0 || argv.empty()) {
    errno = EINVAL;
    return false;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;

  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string assignment = *e;
    bool overridden = false;
    for (const std::string& extra : extra_env) {
      if (VariableName(extra) == VariableName(assignment)) overridden = true;
    }
    if (!overridden) env.push_back(assignment);
  }
  env.insert(env.end(), extra_env.begin(), extra_env.end());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  const int rc = Spawn(argv, envp.data(), fds[1], true, &pid);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    errno = rc;
    return false;
  }
  pid_ = pid;
  out_fd_ = fds[0];
  exit_code_ = -1;
  output_.clear();
  return true;
}

bool ChildProcess::Drain(int timeout_ms) {
  if (out_fd_ < 0) return false;
  pollfd pfd{out_fd_, POLLIN, 0};
  if (poll(&pfd, 1, timeout_ms) <= 0) return false;
  char buf[4096];
  const ssize_t n = read(out_fd_, buf, sizeof buf);
  if (n > 0) {
    output_.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    close(out_fd_);
    out_fd_ = -1;
  }
  return false;
}

bool ChildProcess::Reap(bool block) {
  if (pid_ <= 0) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  if (r < 0) {
    exit_code_ = 127;  // not our child any more; nothing to wait for
  } else if (WIFEXITED(status)) {
    exit_code_ = WEXITSTATUS(status);
  } else {
    exit_code_ = 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  }
  pid_ = -1;
  return true;
}

bool ChildProcess::Wait(int timeout_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    // Short slices: a child may end while something it started still holds the pipe open.
    const int slice = std::min(RemainingMs(deadline), 50);
    if (out_fd_ >= 0) {
      Drain(slice);
    } else if (slice > 0) {
      usleep(static_cast<useconds_t>(std::min(slice, 10)) * 1000);
    }
    if (Reap(false)) {
      while (Drain(0)) {
      }
      return true;
    }
    if (RemainingMs(deadline) == 0) return false;
  }
}

void ChildProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  Reap(true);
}

int ChildProcess::Run(const std::vector<std::string>& argv,
                      const std::vector<std::string>& extra_env, int timeout_ms,
                      std::string* output) {
  ChildProcess child;
  if (!child.Start(argv, extra_env)) return -1;
  const bool ended = child.Wait(timeout_ms);
  if (!ended) child.Kill();
  if (output) *output = child.Output();
  return ended ? child.ExitCode() : -1;
}

bool StartProgram(const std::string& path, const std::vector<std::string>& args) {
  std::vector<std::string> argv{path};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = 0;
  const int error = Spawn(argv, environ, -1, false, &pid);
  if (error != 0) {
    errno = error;
    return false;
  }
  // The started program lives on its own; only its exit status is collected.
  Reaper::Instance().Add(pid);
  return true;
}

}  // namespace qlm
