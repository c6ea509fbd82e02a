#include "crawl/ExpansionSet.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace qlm {

NameHash ExpansionSet::Key(const LinkRecord& referrer) const {
  // NUL separates the parts: none of them holds one.
  key_.assign(referrer.folder_path).append(1, '\0').append(referrer.item_url).append(1, '\0');
  key_.append(referrer.url);
  return NameHash::Of(key_);
}

bool ExpansionSet::Covers(const LinkRecord& referrer) const {
  const auto it = pages_.find(Key(referrer));
  return it != pages_.end() &&
         it->second.shallowest[std::clamp(referrer.chain, 0, kMaxChain)] <= referrer.depth;
}

bool ExpansionSet::FirstLocalizing(const LinkRecord& page) {
  NameHash key = Key(page);
  if (!page.storage_name.empty()) {
    // Stored under another URL's name: another file to localise, with an entry of its own.
    key_.append(1, '\0').append(page.storage_name);
    key = NameHash::Of(key_);
  }
  return !std::exchange(pages_[key].localizing, true);
}

bool ExpansionSet::Expand(const LinkRecord& referrer) {
  Shallowest& shallowest = pages_[Key(referrer)].shallowest;
  const int chain = std::clamp(referrer.chain, 0, kMaxChain);
  if (shallowest[chain] <= referrer.depth) return false;
  if (shallowest[kMaxChain] == INT32_MAX) ++expanded_count_;
  for (int c = chain; c <= kMaxChain; ++c) {
    shallowest[c] = std::min(shallowest[c], referrer.depth);
  }
  return true;
}

}  // namespace qlm
