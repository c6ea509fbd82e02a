#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qlm::test {

// A helper program run by a test, with its standard output on a pipe, so that the test can wait
// for the line it prints when it is ready. The child inherits the test's private home. It is
// killed and reaped on destruction if it still runs.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::string& program, const std::vector<std::string>& args);
  // The next line of the child's output without its line end; empty when none came within
  // `timeout_ms` or the output ended.
  std::string ReadLine(int timeout_ms);
  void Kill(int signal);
  // The exit status (WEXITSTATUS, or 128 + the signal) once the child ends within `timeout_ms`;
  // -1 when it does not.
  int Wait(int timeout_ms);
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;  // running, or not yet reaped
  int out_fd_ = -1;
  std::string pending_;  // output read past the last line handed out
};

}  // namespace qlm::test
