#include "crawl/ExpansionSet.h"

#include <algorithm>

namespace qlm {

bool ExpansionSet::Expand(const LinkRecord& referrer) {
  std::string key;
  key.reserve(referrer.folder_path.size() + referrer.item_url.size() + referrer.url.size() + 2);
  key.append(referrer.folder_path).append(1, '\0').append(referrer.item_url).append(1, '\0');
  key.append(referrer.url);
  std::vector<Reach>& reaches = expanded_[key];
  const Reach now{referrer.depth, referrer.chain};
  const auto covers = [](const Reach& a, const Reach& b) {
    return a.depth <= b.depth && a.chain <= b.chain;
  };
  for (const Reach& earlier : reaches) {
    if (covers(earlier, now)) return false;
  }
  std::erase_if(reaches, [&](const Reach& earlier) { return covers(now, earlier); });
  reaches.push_back(now);
  return true;
}

}  // namespace qlm
