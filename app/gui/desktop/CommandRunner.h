#pragma once

#include <string>
#include <vector>

namespace qlm {

// Runs the desktop's own command-line tools (gsettings, xfconf-query, dbus-send, feh) for the
// wallpaper back ends. Tests put a runner of their own behind it that records the commands.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Runs argv[0] (looked up in PATH) to its end; its exit code, or -1 when it could not be
  // started or took too long. `output` (may be null) receives standard output and error.
  virtual int Run(const std::vector<std::string>& argv, std::string* output) = 0;
  // Whether a program of this name can be found in PATH.
  virtual bool Installed(const std::string& program) = 0;
};

// The real runner: child processes of this program, each allowed kTimeoutMs.
class ProcessCommandRunner final : public CommandRunner {
 public:
  static constexpr int kTimeoutMs = 10000;
  int Run(const std::vector<std::string>& argv, std::string* output) override;
  bool Installed(const std::string& program) override;
};

}  // namespace qlm
