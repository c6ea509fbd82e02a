#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/gui/desktop/CommandRunner.h"

namespace qlm::test {

// Records every command instead of running it; answers with a scripted exit code and output per
// program name (0 and nothing by default).
class FakeCommandRunner final : public CommandRunner {
 public:
  struct Reply {
    int exit_code = 0;
    std::string output;
  };

  int Run(const std::vector<std::string>& argv, std::string* output) override {
    commands.push_back(argv);
    const Reply reply = argv.empty() || !replies.count(argv[0]) ? Reply{} : replies[argv[0]];
    if (output != nullptr) *output = reply.output;
    return reply.exit_code;
  }
  bool Installed(const std::string& program) override { return installed.count(program) != 0; }

  std::vector<std::vector<std::string>> commands;
  std::map<std::string, Reply> replies;
  std::set<std::string> installed;
};

}  // namespace qlm::test
