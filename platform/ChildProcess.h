#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qlm {

// Programs run as child processes. Both kinds below are started the same way (posix_spawn, with
// every descriptor of ours close-on-exec) and reaped, so that none is left behind as a zombie.

// A program run as a child process with its standard output and error collected in one buffer.
// The process belongs to the object (and to the thread that uses it): the destructor kills and
// reaps a child that is still running.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (looked up in PATH when it holds no "/") with the process's environment plus
  // `extra_env` ("NAME=value", overriding). Standard input is /dev/null. False (errno set) when
  // the program cannot be started.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {});

  // Collects output until the child ends or `timeout_ms` of real time have passed; true once it
  // has ended.
  bool Wait(int timeout_ms);
  // Ends the child at once (SIGKILL) and reaps it.
  void Kill();

  bool Running() const { return pid_ > 0; }
  // The exit status; 128 + the signal number when a signal ended it; -1 before it ended.
  int ExitCode() const { return exit_code_; }
  // Everything it wrote to standard output and standard error, interleaved as written.
  const std::string& Output() const { return output_; }

  // Runs a program to its end, killing it when it takes longer than `timeout_ms`. Returns its
  // exit code, or -1 when it could not be started or had to be killed.
  static int Run(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                 int timeout_ms, std::string* output);

 private:
  bool Drain(int timeout_ms);  // reads one piece that is ready within the time; false when none
  bool Reap(bool block);

  pid_t pid_ = -1;      // the running child; -1 when none
  int out_fd_ = -1;     // read end of the output pipe; -1 once it reached its end
  int exit_code_ = -1;  // set when the child was reaped
  std::string output_;
};

// Starts a program with these arguments (its name is argument 0), in the caller's environment,
// standard streams and current folder, without waiting for it; `path` is used as it is, not looked
// up in PATH. The program lives on its own: one thread collects the exit status of every program
// started so, however many run. False with errno when it cannot be started (ENOENT for a missing
// file, ...).
bool StartProgram(const std::string& path, const std::vector<std::string>& args = {});

}  // namespace qlm
