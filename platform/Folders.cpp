#include "platform/Folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace qlm {

namespace {

// The value of an XDG variable when it is usable: set, absolute. Empty otherwise.
std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return {};
  return value;
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// A private folder: a real folder (lstat, so a planted link fails), ours, no access for others.
bool IsPrivateFolder(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
    errno = EPERM;
    return false;
  }
  return true;
}

// Makes one folder with mode 0700 unless it exists, then checks that it is private.
bool MakePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(path);
}

}  // namespace

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return {};
}

std::string SettingsFilePath() {
  std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
  if (config.empty()) config = HomeFolder() + "/.config";
  return WithSlash(config) + "Brackwater/Quillmere.ini";
}

std::string DataFolder() {
  std::string data = AbsoluteEnv("XDG_DATA_HOME");
  if (data.empty()) data = HomeFolder() + "/.local/share";
  return WithSlash(data) + "Quillmere/";
}

bool CreateDataFolder() {
  return CreateFolders(DataFolder(), 0755);
}

std::string RuntimeFolder() {
  std::string base = AbsoluteEnv("XDG_RUNTIME_DIR");
  if (base.empty()) {
    base = "/tmp/quillmere-" + std::to_string(getuid());
    if (!MakePrivateFolder(base)) return {};
  }
  const std::string folder = WithSlash(base) + "quillmere";
  if (!MakePrivateFolder(folder)) return {};
  return folder + "/";
}

std::string ExecutableFolder() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return {};
  path.resize(static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1);
}

bool CreateFolders(const std::string& path, unsigned mode) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  // Walk the path from the root, making each missing part; an existing part must be a folder.
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    struct stat st;
    // Test before making, so that a read-only parent of an existing folder is no obstacle.
    if (stat(part.c_str(), &st) != 0 && mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
      return false;
    }
    if (end == std::string::npos || end + 1 == path.size()) break;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

}  // namespace qlm
