#include "crawl/NameHash.h"

#include <functional>

namespace qlm {

NameHash NameHash::Of(std::string_view name) {
  // The second hash is FNV-1a, unrelated to the library's string hash.
  std::uint64_t fnv = 14695981039346656037ull;
  for (const char c : name) {
    fnv = (fnv ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return {std::hash<std::string_view>{}(name), fnv};
}

}  // namespace qlm
