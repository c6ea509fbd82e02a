#include "platform/Profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/FileLock.h"
#include "platform/Folders.h"
#include "platform/WholeFile.h"

namespace qlm {

namespace {

// Reads a whole file. An absent file reads as empty and succeeds; otherwise 0 or the errno value.
int ReadSettings(const std::string& path, std::string* bytes) {
  int error = 0;
  return ReadWholeFile(path, *bytes, &error) || error == ENOENT ? 0 : error;
}

// The file a write must replace: the target of a symbolic link rather than the link, so that a
// settings file linked from elsewhere stays linked.
std::string WriteTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string target = resolved;
  free(resolved);
  return target;
}

}  // namespace

Profile::Profile() : Profile(SettingsFilePath()) {}

Profile::Profile(std::string path) : path_(std::move(path)) {}

bool Profile::Load(IniFile* file) const {
  std::string bytes;
  const int error = ReadSettings(path_, &bytes);
  *file = IniFile::Parse(bytes);
  return error == 0;
}

int32_t Profile::GetProfileInt(std::string_view section, std::string_view name,
                               int32_t default_value) const {
  IniFile file;
  Load(&file);
  return file.GetNumber(section, name).value_or(default_value);
}

std::string Profile::GetProfileString(std::string_view section, std::string_view name,
                                      std::string_view default_value) const {
  IniFile file;
  Load(&file);
  return file.Get(section, name).value_or(std::string(default_value));
}

bool Profile::WriteProfileInt(std::string_view section, std::string_view name, int32_t value) {
  return Update([&](IniFile& file) { return file.SetNumber(section, name, value); });
}

bool Profile::WriteProfileString(std::string_view section, std::string_view name,
                                 std::string_view value) {
  return Update([&](IniFile& file) { return file.Set(section, name, value); });
}

bool Profile::Update(const std::function<bool(IniFile&)>& edit) {
  const std::string target = WriteTarget(path_);
  const std::string folder = target.substr(0, target.rfind('/') + 1);
  if (!folder.empty() && !CreateFolders(folder, 0700)) {
    error_ = errno;
    return false;
  }
  FileLock writers(target + ".lock");
  if (!writers.Lock()) {
    error_ = writers.Error();
    return false;
  }
  std::string bytes;
  if (const int error = ReadSettings(target, &bytes); error != 0) {
    error_ = error;
    return false;
  }
  IniFile file = IniFile::Parse(bytes);
  if (!edit(file)) {
    error_ = EINVAL;
    return false;
  }
  std::string edited = file.Serialize();
  // A change to what the file holds already writes nothing (and waits for no disk): settings
  // are written over like this at every start.
  if (edited == bytes) return true;
  return Replace(target, edited);
}

bool Profile::Replace(const std::string& target, const std::string& bytes) {
  // Passwords are kept here (scrambled, not encrypted), so a new file is private to the user;
  // an existing file keeps the mode its owner gave it.
  mode_t mode = 0600;
  struct stat st;
  if (stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

  error_ = ReplaceFileWithBytes(target, bytes, {.mode = mode});
  return error_ == 0;
}

}  // namespace qlm
