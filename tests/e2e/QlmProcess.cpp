#include "tests/e2e/QlmProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "tests/support/TempHome.h"

extern char** environ;

namespace qlm::test {

namespace {

std::string OutputPath(const char* what) {
  static std::atomic<int> serial{0};
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/qlm-e2e-" + std::to_string(::getpid()) + "-" +
         std::to_string(serial++) + "." + what;
}

}  // namespace

QlmProcess::~QlmProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    Reap(true);
  }
  if (!out_path_.empty()) ::unlink(out_path_.c_str());
  if (!err_path_.empty()) ::unlink(err_path_.c_str());
}

std::string QlmProcess::Program() {
  return std::string(QLM_BIN_DIR) + "/QLM";
}

bool QlmProcess::Start(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  out_path_ = OutputPath("out");
  err_path_ = OutputPath("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  // The child starts with default signal actions and nothing blocked, whatever the test did.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    // No display at all: the headless modes must not need one.
    if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0) continue;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& extra : env) replaced = replaced || extra.rfind(name, 0) == 0;
    if (!replaced) env_strings.push_back(entry);
  }
  env_strings.insert(env_strings.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (std::string& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_strings{Program()};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_strings) argv.push_back(a.data());
  argv.push_back(nullptr);

  const int rc = posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    pid_ = -1;
    return false;
  }
  exit_code_ = -1;
  return true;
}

bool QlmProcess::Reap(bool block) {
  if (pid_ <= 0) return true;
  int status = 0;
  const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  if (r != pid_) return false;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid_ = -1;
  return true;
}

bool QlmProcess::Wait(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!Reap(false)) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void QlmProcess::Signal(int sig) {
  if (pid_ > 0) ::kill(pid_, sig);
}

bool QlmProcess::Running() {
  return !Reap(false);
}

std::string QlmProcess::Out() const {
  return ReadFileBytes(out_path_);
}

std::string QlmProcess::Err() const {
  return ReadFileBytes(err_path_);
}

int QlmProcess::Run(const std::vector<std::string>& args, std::string* out, std::string* err,
                    std::chrono::milliseconds limit, const std::vector<std::string>& env) {
  QlmProcess qlm;
  if (!qlm.Start(args, env)) return -1;
  const bool ended = qlm.Wait(limit);
  if (out) *out = qlm.Out();
  if (err) *err = qlm.Err();
  if (!ended) return -1;
  return qlm.ExitCode();
}

}  // namespace qlm::test
