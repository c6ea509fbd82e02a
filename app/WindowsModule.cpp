#include "app/WindowsModule.h"

#include <dlfcn.h>

namespace qlm {

int RunWindowsModule(const std::string& folder, int argc, char** argv, bool by_screen_saver,
                     std::FILE* err) {
  const std::string path = folder + kWindowsModuleName;
  // The module stays loaded until the program ends: Qt's exit handlers run from it.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(err, "QLM: cannot load the windows (%s); the modes in --help work without them\n",
                 dlerror());
    return 2;
  }
  auto entry = reinterpret_cast<WindowsEntry>(dlsym(module, kWindowsEntryName));
  if (!entry) {
    std::fprintf(err, "QLM: %s has no %s; it belongs to another version of QLM\n", path.c_str(),
                 kWindowsEntryName);
    return 2;
  }
  return entry(argc, argv, by_screen_saver ? 1 : 0);
}

}  // namespace qlm
