#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "net/CUrl.h"

namespace qlm {

// The links of one page seen so far, so that a page that repeats a link (navigation on every
// line, or a hostile page of a million copies of a few links) yields each link once: what a scan
// keeps grows with the page's distinct links, not with how often they stand in it. Two links are
// one when they have the same kind and URL, fragments aside (a fragment names a place in the page,
// not another resource). Values are remembered as written too, so that a repeated one is not
// resolved again; that memory stops growing at kMaxValues (a page of countless fragments).
class DistinctLinks {
 public:
  static constexpr std::size_t kMaxValues = 1 << 16;

  // A new page.
  void Clear();
  // The page's BASE changed: the same value may now give another URL.
  void BaseChanged() { values_.clear(); }
  // True when a link of `kind` with this value, as written, was met before against this base.
  bool SeenValue(int kind, std::string_view value);
  // Where the page's links hold an earlier link of `kind` to this URL (fragment aside); nothing
  // when there is none, and `index` is noted as its place.
  std::optional<std::size_t> Earlier(int kind, const CUrl& url, std::size_t index);

 private:
  static void MakeKey(std::string& key, int kind, std::string_view text);

  std::unordered_set<std::string> values_;
  std::unordered_map<std::string, std::size_t> urls_;
  std::string key_;  // kept to save an allocation per link
};

}  // namespace qlm
