#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "project/LinkRecord.h"

namespace qlm {

// The pages a patrol has expanded (read for links and admitted them), per item, with the depth and
// chain they were expanded at. A page reached again no shallower (depth and chain both at least
// those of an earlier expansion) would only admit records that the earlier expansion admitted
// already with a depth and chain no greater, so its links are not admitted again: the work of a
// patrol then grows with the pages of a site instead of the paths through it, while the set of
// files fetched, stored and localised stays the same.
//
// In memory, for one patrol: a resumed patrol starts empty and may expand a page once more.
class ExpansionSet {
 public:
  // True when the page of `referrer` (its str3, for its item) is to be expanded at the referrer's
  // depth and chain; the expansion is then recorded. False when an earlier one covers it.
  bool Expand(const LinkRecord& referrer);
  // Pages expanded so far (each counted once however often it was expanded).
  std::size_t Size() const { return expanded_.size(); }

 private:
  struct Reach {
    int depth;
    int chain;
  };
  // Key: item folder path, item URL and page URL, separated by NUL bytes (none of them holds one).
  // Value: the reaches not covered by another one (a chain is at most 3, so a handful).
  std::unordered_map<std::string, std::vector<Reach>> expanded_;
};

}  // namespace qlm
