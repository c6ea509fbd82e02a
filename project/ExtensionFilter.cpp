#include "project/ExtensionFilter.h"

namespace qlm {

namespace {

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool ExtensionFilter::Listed(std::string_view list, std::string_view extension) {
  for (std::size_t start = 0;;) {
    const std::size_t end = list.find(';', start);
    const std::string_view entry = list.substr(start, end - start);
    if (!entry.empty() && EqualIgnoringAsciiCase(entry, extension)) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

bool ExtensionFilter::InLists(const ProjectItem& item, const ItemDefaults& defaults,
                              ItemString first, std::string_view extension) {
  for (std::size_t i = 0; i < kExtListCount; ++i) {
    const auto list = static_cast<ItemString>(static_cast<std::size_t>(first) + i);
    if (Listed(defaults.Resolve(item, list), extension)) return true;
  }
  return false;
}

bool ExtensionFilter::Admits(const ProjectItem& item, const ItemDefaults& defaults,
                             const std::optional<std::string>& extension) {
  if (defaults.Resolve(item, ItemOption::UseExtFilter) == 1) {
    const bool passes = extension ? InLists(item, defaults, kExtLists, *extension)
                                  : defaults.Resolve(item, ItemOption::DLNoExt) == 1;
    if (!passes) return false;
  }
  if (defaults.Resolve(item, ItemOption::UseUVExtFilter) == 1) {
    const bool refused = extension ? InLists(item, defaults, kUVExtLists, *extension)
                                   : defaults.Resolve(item, ItemOption::NotDLNoExt) == 1;
    if (refused) return false;
  }
  return true;
}

}  // namespace qlm
