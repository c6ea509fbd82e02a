#include "tests/xvfb/GuiProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/TempHome.h"

extern char** environ;

namespace qlm::test {

GuiProgram::~GuiProgram() {
  if (pid_ <= 0) return;
  // Ended as a session ends it, so that it withdraws what it shares with other programs (its
  // picture block); killed only when it does not end.
  ::kill(pid_, SIGTERM);
  if (Wait(5000)) return;
  ::kill(pid_, SIGKILL);
  Reap(true);
}

std::string GuiProgram::Path(const std::string& name) {
  return std::string(QLM_BIN_DIR) + "/" + name;
}

bool GuiProgram::Start(const std::string& name, const std::vector<std::string>& args) {
  static std::atomic<int> serial{0};
  output_path_ =
      std::string(std::getenv("HOME")) + "/" + name + "-" + std::to_string(serial++) + ".log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> argv_strings{Path(name)};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_strings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) pid_ = -1;
  exit_code_ = -1;
  return rc == 0;
}

bool GuiProgram::Reap(bool block) {
  if (pid_ <= 0) return true;
  int status = 0;
  if (::waitpid(pid_, &status, block ? 0 : WNOHANG) != pid_) return false;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid_ = -1;
  return true;
}

bool GuiProgram::Running() {
  return !Reap(false);
}

void GuiProgram::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

bool GuiProgram::Wait(int limit_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!Reap(false)) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string GuiProgram::Output() const {
  return ReadFileBytes(output_path_);
}

}  // namespace qlm::test
