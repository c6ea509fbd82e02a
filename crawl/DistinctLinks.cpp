#include "crawl/DistinctLinks.h"

namespace qlm {

void DistinctLinks::Clear() {
  values_.clear();
  urls_.clear();
}

void DistinctLinks::MakeKey(std::string& key, int kind, std::string_view text) {
  key.assign(1, static_cast<char>(kind)).append(text);
}

bool DistinctLinks::SeenValue(int kind, std::string_view value) {
  MakeKey(key_, kind, value);
  if (values_.contains(key_)) return true;
  if (values_.size() < kMaxValues) values_.insert(key_);
  return false;
}

std::optional<std::size_t> DistinctLinks::Earlier(int kind, const CUrl& url, std::size_t index) {
  std::string_view text = url.Text();
  if (const auto& fragment = url.Fragment()) text.remove_suffix(fragment->size() + 1);
  MakeKey(key_, kind, text);
  const auto [it, added] = urls_.try_emplace(key_, index);
  if (added) return std::nullopt;
  return it->second;
}

}  // namespace qlm
