#pragma once

#include <string>

namespace qlm::test {

// A temporary folder that stands in for the user's home: HOME and the XDG config, data and
// runtime folders all point below it after Export(). Removed with everything in it on destruction.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  void Export() const;
  const std::string& Root() const { return root_; }
  std::string Config() const { return root_ + "/config"; }
  std::string Data() const { return root_ + "/data"; }
  std::string Runtime() const { return root_ + "/runtime"; }

 private:
  std::string root_;
};

// A fresh empty folder below the system's temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  // Below `base` instead (a folder every user can pass through, for a folder of another user).
  explicit TempDir(const std::string& base);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Writes bytes to a file, replacing it; false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace qlm::test
