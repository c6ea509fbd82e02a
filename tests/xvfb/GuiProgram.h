#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qlm::test {

// One of the built programs (QLM, QLMSW, QLMSS) run on the test's X server with the test's
// environment, its output kept in a file for the failure message. Killed on destruction.
class GuiProgram {
 public:
  GuiProgram() = default;
  ~GuiProgram();
  GuiProgram(const GuiProgram&) = delete;
  GuiProgram& operator=(const GuiProgram&) = delete;

  // The program of this build by name ("QLM", "QLMSW", "QLMSS").
  static std::string Path(const std::string& name);

  bool Start(const std::string& name, const std::vector<std::string>& args = {});
  bool Running();
  void Signal(int signal);
  // Waits for the end; false when it still runs after `limit_ms`.
  bool Wait(int limit_ms);
  int ExitCode() const { return exit_code_; }
  // What it printed on standard output and error.
  std::string Output() const;

 private:
  bool Reap(bool block);

  pid_t pid_ = -1;
  int exit_code_ = -1;
  std::string output_path_;
};

}  // namespace qlm::test
