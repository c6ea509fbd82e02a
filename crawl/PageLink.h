#pragma once

#include <optional>
#include <string>
#include <utility>

#include "net/CUrl.h"

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
// local name the fetched content is to be stored (empty for every link read from a page). The
// scanner also hands over `url` parsed, so that admitting the link does not parse it again.
struct PageLink {
  PageLink() = default;
  PageLink(int link_kind, std::string link_url, std::string storage = {},
           std::optional<CUrl> link_parsed = std::nullopt)
      : kind(link_kind),
        url(std::move(link_url)),
        storage_name(std::move(storage)),
        parsed(std::move(link_parsed)) {}

  int kind = 0;
  std::string url;
  std::string storage_name;
  std::optional<CUrl> parsed;  // `url` parsed, when the maker had it

  bool operator==(const PageLink& other) const {
    return kind == other.kind && url == other.url && storage_name == other.storage_name;
  }
};

}  // namespace qlm
