#include "platform/NamedMutex.h"

#include "platform/Folders.h"
#include "platform/ObjectName.h"

namespace qlm {

NamedMutex::NamedMutex(const std::string& name) : lock_(PathFor(name)) {}

std::string NamedMutex::PathFor(const std::string& name) {
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return {};
  // The prefix keeps a name of dots only from naming the folder itself or its parent.
  return folder + "mutex-" + EscapeObjectName(name);
}

}  // namespace qlm
