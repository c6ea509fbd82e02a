#pragma once

#include <string>

namespace qlm {

// Where a link was found. The numbers are stored in link records and decide how the patrol
// follows a link (a page link adds one to the depth, an embedded resource extends the chain).
// 3 and 6 are never produced.
enum LinkKind : int {
  kLinkAnchor = 1,      // A HREF
  kLinkArea = 2,        // AREA HREF
  kLinkBackground = 4,  // BODY BACKGROUND
  kLinkFrame = 5,       // FRAME SRC
  kLinkImage = 7,       // IMG SRC
  kLinkImageMap = 8,    // IMG USEMAP
  kLinkRedirect = 9,    // target of a 301/302 reply; made by the download manager, not the scanner
};

// One link of a page: its kind, its absolute URL in normalized form, and the URL under whose
// local name the fetched content is to be stored (empty for every link read from a page).
struct PageLink {
  int kind = 0;
  std::string url;
  std::string storage_name;

  bool operator==(const PageLink&) const = default;
};

}  // namespace qlm
