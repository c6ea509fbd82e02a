#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "crawl/NameHash.h"
#include "project/LinkRecord.h"

namespace qlm {

// The pages a patrol has expanded (read for links and admitted them), per item, with the depth and
// chain they were expanded at. A page reached again no shallower (depth and chain both at least
// those of an earlier expansion) would only admit records that the earlier expansion admitted
// already with a depth and chain no greater, so its links are not admitted again: the work of a
// patrol then grows with the pages of a site instead of the paths through it, while the set of
// files fetched, stored and localised stays the same.
//
// In memory, for one patrol: a resumed patrol starts empty and may expand a page once more. A page
// costs a fixed few dozen bytes whatever the length of its URL: it is known by two independent
// 64-bit hashes of (item folder path, item URL, page URL). Two pages would pass for one (the second
// not expanded) only when both hashes agree; with n pages the odds are about n * n / 2^129, below
// one in 10^25 even for a site of ten million pages.
class ExpansionSet {
 public:
  // Chains run from 0 to this (a longer one is never admitted).
  static constexpr int kMaxChain = 3;

  // True when the page of `referrer` (its str3, for its item) is to be expanded at the referrer's
  // depth and chain; the expansion is then recorded. False when an earlier one covers it.
  bool Expand(const LinkRecord& referrer);
  // True when an earlier expansion covers the page of `referrer` (Expand would say false); records
  // nothing.
  bool Covers(const LinkRecord& referrer) const;
  // True the first time it is asked for the page of `page` (its str3, for its item, stored under
  // its str5 when it has one), expanded or not: the page is to be put into the localize queue
  // then. Kept beside the page's expansions, for no more memory than they take already.
  bool FirstLocalizing(const LinkRecord& page);
  // Pages expanded so far (each counted once however often it was expanded).
  std::size_t Size() const { return expanded_count_; }

 private:
  // For each chain c, the smallest depth of an expansion with a chain of at most c: an expansion
  // at (depth, chain) is covered exactly when shallowest[chain] <= depth.
  using Shallowest = std::array<int32_t, kMaxChain + 1>;
  struct Page {
    Shallowest shallowest = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};  // none yet
    bool localizing = false;  // put into the localize queue
  };

  NameHash Key(const LinkRecord& referrer) const;

  std::unordered_map<NameHash, Page, NameHash::Hasher> pages_;
  std::size_t expanded_count_ = 0;
  mutable std::string key_;  // the hashed text, kept to save an allocation per call
};

}  // namespace qlm
