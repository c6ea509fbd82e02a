#include "tests/e2e/HeadlessPatrol.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace qlm::test {

namespace {

std::string ConfigHome() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) return config;
  return std::string(std::getenv("HOME")) + "/.config";
}

// Names a patrol keeps to itself: the queue files, the mirror's token, link cache and validator
// log, the download and rewrite files, and the files a write fills beside a local name before it
// renames them.
bool IsWorkFile(const std::string& relative) {
  const std::string name = relative.substr(relative.rfind('/') + 1);
  if (relative.find('/') == std::string::npos &&
      (name.ends_with(".uq") || name.ends_with(".lq") || name.ends_with(".det") ||
       name.ends_with(".del") || name.ends_with(".mg") || name.ends_with(".lc") ||
       name.ends_with(".vl"))) {
    return true;
  }
  return IsLeftover(name);
}

}  // namespace

std::string OneItemProject(const std::string& url, const std::string& options) {
  return "ProjectDefault\n{\n\tAccessInterval=0\n\t" + options + "\n}\nRecord\n{\n\tURL=\"" + url +
         "\"\n}\n";
}

bool IsLeftover(const std::string& name) {
  return name.starts_with(".qlm?") || (name.starts_with("tmp") && name.ends_with(".dat")) ||
         name == "tmp.html";
}

HeadlessPatrol::HeadlessPatrol(std::string name, const std::string& settings)
    : name_(std::move(name)), project_path_(dir_.File(name_ + ".prj")) {
  std::filesystem::create_directories(ConfigHome() + "/Brackwater");
  WriteFileBytes(ConfigHome() + "/Brackwater/Quillmere.ini",
                 "[Application Settings]\nMirrorDir=" + Mirror() + "\n" + settings);
}

void HeadlessPatrol::Project(const std::string& text) const {
  WriteFileBytes(project_path_, text);
}

int HeadlessPatrol::Run(const std::vector<std::string>& args, std::string* out,
                        std::string* err) const {
  std::vector<std::string> argv = args;
  argv.push_back(project_path_);
  return QlmProcess::Run(argv, out, err);
}

bool HeadlessPatrol::Start(QlmProcess& qlm, const std::vector<std::string>& extra) const {
  std::vector<std::string> argv{"--patrol", project_path_};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return qlm.Start(argv);
}

std::map<std::string, std::string> HeadlessPatrol::Tree() const {
  std::map<std::string, std::string> tree;
  const std::string root = ProjectFolder();
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = it->path().string().substr(root.size());
    if (it->is_directory()) {
      tree[relative + "/"] = "";
    } else if (!IsWorkFile(relative)) {
      tree[relative] = ReadFileBytes(it->path().string());
    }
  }
  return tree;
}

std::vector<std::string> HeadlessPatrol::Leftovers() const {
  std::vector<std::string> found;
  const std::string root = ProjectFolder();
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = it->path().string().substr(root.size());
    if (IsLeftover(it->path().filename().string())) found.push_back(relative);
  }
  return found;
}

std::map<std::string, int> Counters(const std::string& out) {
  std::map<std::string, int> counters;
  std::istringstream line(LastLine(out));
  std::string name;
  int value;
  while (line >> name >> value) counters[name] = value;
  if (counters.size() != 6) counters.clear();
  return counters;
}

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  const size_t start = trimmed.rfind('\n');
  return start == std::string::npos ? trimmed : trimmed.substr(start + 1);
}

}  // namespace qlm::test
