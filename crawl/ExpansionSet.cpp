#include "crawl/ExpansionSet.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <string_view>

namespace qlm {

bool ExpansionSet::Expand(const LinkRecord& referrer) {
  // NUL separates the parts: none of them holds one.
  key_.assign(referrer.folder_path).append(1, '\0').append(referrer.item_url).append(1, '\0');
  key_.append(referrer.url);
  // The second hash is FNV-1a, unrelated to the library's string hash.
  std::uint64_t fnv = 14695981039346656037ull;
  for (const char c : key_) {
    fnv = (fnv ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  const Key key{std::hash<std::string_view>{}(key_), fnv};
  auto [it, added] = expanded_.try_emplace(key);
  Shallowest& shallowest = it->second;
  if (added) shallowest.fill(INT32_MAX);
  const int chain = std::clamp(referrer.chain, 0, kMaxChain);
  if (shallowest[chain] <= referrer.depth) return false;
  for (int c = chain; c <= kMaxChain; ++c) {
    shallowest[c] = std::min(shallowest[c], referrer.depth);
  }
  return true;
}

}  // namespace qlm
