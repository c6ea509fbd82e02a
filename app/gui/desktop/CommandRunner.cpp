#include "app/gui/desktop/CommandRunner.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/ChildProcess.h"

namespace qlm {

int ProcessCommandRunner::Run(const std::vector<std::string>& argv, std::string* output) {
  std::string ignored;
  return ChildProcess::Run(argv, {}, kTimeoutMs, output != nullptr ? output : &ignored);
}

bool ProcessCommandRunner::Installed(const std::string& program) {
  if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string folders = path;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    // An empty entry is the current folder.
    const std::string folder = end > start ? folders.substr(start, end - start) : std::string(".");
    if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace qlm
