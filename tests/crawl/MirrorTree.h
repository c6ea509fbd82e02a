#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "crawl/MirrorFiles.h"
#include "tests/support/TempHome.h"

namespace qlm::test {

// Every regular file below `root`, by its path relative to root, with its bytes; folders appear
// as their path with a trailing "/" and no bytes, so that empty folders show.
inline std::map<std::string, std::string> TreeOf(const std::string& root) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = it->path().string();
    const std::string relative = path.substr(root.size() + (root.ends_with('/') ? 0 : 1));
    if (it->is_directory()) {
      tree[relative + "/"] = "";
    } else {
      tree[relative] = ReadFileBytes(path);
    }
  }
  return tree;
}

// Writes a file with its folders.
inline void PutFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFileBytes(path, bytes);
}

inline void SetWriteTime(const std::string& path, FileTime time) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch());
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(ns.count() / 1000000000);
  times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(ns.count() % 1000000000);
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace qlm::test
