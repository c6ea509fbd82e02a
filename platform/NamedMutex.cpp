#include "platform/NamedMutex.h"

#include <cstdio>

#include "platform/Folders.h"

namespace qlm {

NamedMutex::NamedMutex(const std::string& name) : lock_(PathFor(name)) {}

std::string NamedMutex::PathFor(const std::string& name) {
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return {};
  std::string file;
  for (const unsigned char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    if (plain) {
      file += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      file += escaped;
    }
  }
  // The prefix keeps a name of dots only from naming the folder itself or its parent.
  return folder + "mutex-" + file;
}

}  // namespace qlm
