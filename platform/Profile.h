#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/IniFile.h"

namespace qlm {

// The per-user profile, the stand-in for the registry: one INI file (see IniFile for the format),
// by default SettingsFilePath(). Every call goes to the file, so values written by one Profile
// object are seen by any other at once, as with the registry.
//
// Reading never fails: a missing file, a missing value or a file that cannot be read gives the
// caller's default. Writing reads the current file, changes it, writes a temporary file in the
// same folder and renames it over the old one, so a crash leaves the old file or the new one,
// never a torn one. Writers in all processes take turns on a lock file beside the settings file
// ("Quillmere.ini.lock"), so two writers never lose each other's values. A file that exists but
// cannot be read is never replaced, since its unknown lines would be lost.
class Profile {
 public:
  Profile();  // the user's settings file
  explicit Profile(std::string path);

  const std::string& Path() const { return path_; }

  int32_t GetProfileInt(std::string_view section, std::string_view name,
                        int32_t default_value) const;
  std::string GetProfileString(std::string_view section, std::string_view name,
                               std::string_view default_value) const;
  // False when the file could not be written (Error() tells why) or the names are unusable.
  bool WriteProfileInt(std::string_view section, std::string_view name, int32_t value);
  bool WriteProfileString(std::string_view section, std::string_view name, std::string_view value);

  // The whole file; empty when absent. False (and an empty file) when it exists but cannot be
  // read.
  bool Load(IniFile* file) const;
  // Applies several changes in one replacement of the file. The edit returns false to abandon
  // the write (nothing changes on disk).
  bool Update(const std::function<bool(IniFile&)>& edit);

  // errno of the last failed write (EINVAL for unusable names, EIO for a short write); 0 after
  // a successful one.
  int Error() const { return error_; }

 private:
  bool Replace(const std::string& target, const std::string& bytes);

  std::string path_;
  int error_ = 0;
};

}  // namespace qlm
