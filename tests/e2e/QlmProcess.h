#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace qlm::test {

// The real QLM program run as a child without a display, its standard output and error going to
// files, so that a test can stop it with a signal at any moment and still read what it wrote.
// It inherits the test's private home (HOME and the XDG folders). The destructor kills a child
// that still runs.
class QlmProcess {
 public:
  QlmProcess() = default;
  ~QlmProcess();
  QlmProcess(const QlmProcess&) = delete;
  QlmProcess& operator=(const QlmProcess&) = delete;

  // The QLM program of this build.
  static std::string Program();

  // `env` adds "NAME=VALUE" entries to the environment, replacing the test's own of that name.
  bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
  // Waits for the end; false when it still runs after `limit`.
  bool Wait(std::chrono::milliseconds limit = std::chrono::seconds(60));
  void Signal(int sig);
  bool Running();
  pid_t Pid() const { return pid_; }
  // Exit status, 128 + signal when a signal ended it, -1 while it runs.
  int ExitCode() const { return exit_code_; }
  std::string Out() const;
  std::string Err() const;

  // Starts, waits and returns the exit code (-1 when it had to be killed).
  static int Run(const std::vector<std::string>& args, std::string* out = nullptr,
                 std::string* err = nullptr,
                 std::chrono::milliseconds limit = std::chrono::seconds(60),
                 const std::vector<std::string>& env = {});

 private:
  bool Reap(bool block);

  pid_t pid_ = -1;
  int exit_code_ = -1;
  std::string out_path_;
  std::string err_path_;
};

}  // namespace qlm::test
