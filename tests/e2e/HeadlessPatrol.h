#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/QlmProcess.h"
#include "tests/support/TempHome.h"

namespace qlm::test {

// A project for the real `QLM --patrol`: its file and its mirror folder in a temporary folder,
// and the settings file of the test's private home pointing the mirror there.
class HeadlessPatrol {
 public:
  // `name` is the project's name (its file is NAME.prj); `settings` are extra lines of the
  // section [Application Settings] ("UseRobotsTxt=1\n").
  explicit HeadlessPatrol(std::string name = "site", const std::string& settings = "");

  // Writes the project file.
  void Project(const std::string& text) const;
  const std::string& ProjectPath() const { return project_path_; }
  // MirrorDir, ending in "/", and the project's folder below it.
  std::string Mirror() const { return dir_.Path() + "/Mirror/"; }
  std::string ProjectFolder() const { return Mirror() + name_ + "/"; }

  // Runs `QLM ARGS... PROJECT` (the project file last); returns the exit status.
  int Run(const std::vector<std::string>& args, std::string* out = nullptr,
          std::string* err = nullptr) const;
  int Patrol(std::string* out = nullptr, std::string* err = nullptr) const {
    return Run({"--patrol"}, out, err);
  }
  // Starts `QLM --patrol PROJECT` and leaves it running.
  bool Start(QlmProcess& qlm, const std::vector<std::string>& extra = {}) const;

  // Every file and folder below the project folder but the queue files and temporary files, by
  // relative path, with its bytes.
  std::map<std::string, std::string> Tree() const;
  // Files in the project folder that a patrol leaves only while it runs (tmpN.dat, tmp.html)
  // or that a write leaves half done beside a local name.
  std::vector<std::string> Leftovers() const;

 private:
  TempDir dir_;
  std::string name_;
  std::string project_path_;
};

// Whether a file name is one a patrol uses only while it runs: the download and rewrite files
// ("tmp0.dat", "tmp.html") and the file a write fills beside a local name before renaming it.
bool IsLeftover(const std::string& name);

// A project of one URL item that patrols without waiting between downloads, with more `options`
// of the project's defaults ("GraphMax=1").
std::string OneItemProject(const std::string& url, const std::string& options = "GraphMax=1");

// The counter line a patrol ends with, split into its numbers; empty when the text has none.
std::map<std::string, int> Counters(const std::string& out);
// The last line of a text.
std::string LastLine(const std::string& text);

}  // namespace qlm::test
