#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "project/ItemDefaults.h"
#include "project/ProjectItem.h"

namespace qlm {

// The two file-type filters of an item, applied to a URL's extension (lower case, absent when the
// last path segment has no "."). Both groups come whole from the item that sets their flag, or
// from the application.
//  - download filter (UseExtFilter 1): only listed extensions pass; a URL without extension
//    passes when DLNoExt is 1;
//  - exclusion filter (UseUVExtFilter 1): listed extensions are refused; a URL without extension
//    is refused when NotDLNoExt is 1.
// A list is split at ";" only (a comma is part of an entry, blanks are kept); entries match
// ignoring the letter case of ASCII letters.
class ExtensionFilter {
 public:
  // True when the URL passes the download filter and is not refused by the exclusion filter.
  static bool Admits(const ProjectItem& item, const ItemDefaults& defaults,
                     const std::optional<std::string>& extension);

  // True when `extension` equals an entry of the ";"-separated `list`; empty entries (";;", an
  // empty list) match nothing.
  static bool Listed(std::string_view list, std::string_view extension);

 private:
  static bool InLists(const ProjectItem& item, const ItemDefaults& defaults, ItemString first,
                      std::string_view extension);
};

}  // namespace qlm
