#include "net/OpenSsl.h"

#include <dlfcn.h>

#include <string>

namespace qlm {

const OpenSslApi* OpenSsl() {
  static const OpenSslApi* const api = []() -> const OpenSslApi* {
    // The library of the major version the program was built with; it brings its crypto library
    // along, where the functions of both are found. It stays loaded to the process's end.
    const std::string name = "libssl.so." + std::to_string(OPENSSL_VERSION_MAJOR);
    void* library = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    auto* loaded = new OpenSslApi;
    bool complete = true;
#define QLM_OPENSSL_LOAD(name)                                                   \
  loaded->name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name)); \
  complete = complete && loaded->name != nullptr;
    QLM_OPENSSL_FUNCTIONS(QLM_OPENSSL_LOAD)
#undef QLM_OPENSSL_LOAD
    if (!complete) {
      delete loaded;
      return nullptr;
    }
    return loaded;
  }();
  return api;
}

}  // namespace qlm
