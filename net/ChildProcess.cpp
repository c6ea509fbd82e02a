#include "net/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

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
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
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

}  // namespace qlm
