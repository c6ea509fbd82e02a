#include "crawl/ExpansionSet.h"

#include <algorithm>
#include <climits>

namespace qlm {

NameHash ExpansionSet::Key(const LinkRecord& referrer) const {
  // NUL separates the parts: none of them holds one.
  key_.assign(referrer.folder_path).append(1, '\0').append(referrer.item_url).append(1, '\0');
  key_.append(referrer.url);
  return NameHash::Of(key_);
}

bool ExpansionSet::Covers(const LinkRecord& referrer) const {
  const auto it = expanded_.find(Key(referrer));
  return it != expanded_.end() &&
         it->second[std::clamp(referrer.chain, 0, kMaxChain)] <= referrer.depth;
}

bool ExpansionSet::Expand(const LinkRecord& referrer) {
  auto [it, added] = expanded_.try_emplace(Key(referrer));
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
