#include "platform/ObjectName.h"

#include <cstdio>

namespace qlm {

std::string EscapeObjectName(const std::string& name) {
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
  return file;
}

}  // namespace qlm
