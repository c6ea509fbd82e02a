#pragma once

#include <optional>
#include <string>
#include <utility>

#include "net/CUrl.h"

namespace qlm {

// Where a link was found. The numbers are stored in link records and decide how the patrol
// follows a link (a page link adds one to the depth, an embedded resource extends the chain).
// 3 and 6 are never produced. From 10 on, the files a page needs to look as it does (its
// requisites); they are embedded resources as a picture is.
enum LinkKind : int {
  kLinkAnchor = 1,       // A HREF
  kLinkArea = 2,         // AREA HREF
  kLinkBackground = 4,   // BODY BACKGROUND
  kLinkFrame = 5,        // FRAME SRC, IFRAME SRC
  kLinkImage = 7,        // IMG SRC
  kLinkImageMap = 8,     // IMG USEMAP
  kLinkRedirect = 9,     // target of a 301/302 reply; made by the download manager, not the scanner
  kLinkStyleSheet = 10,  // LINK HREF with REL stylesheet; @import in a style sheet
  kLinkHeadResource = 11,    // LINK HREF with REL icon, apple-touch-icon, preload, modulepreload
  kLinkScript = 12,          // SCRIPT SRC
  kLinkSrcset = 13,          // each candidate of IMG SRCSET and SOURCE SRCSET
  kLinkMedia = 14,           // SOURCE, AUDIO, VIDEO, TRACK SRC; VIDEO POSTER
  kLinkObject = 15,          // INPUT TYPE=image SRC, EMBED SRC, OBJECT DATA
  kLinkCellBackground = 16,  // TABLE, TD, TH BACKGROUND
  kLinkStyleUrl = 17,        // url() in a style sheet, a STYLE element or a STYLE attribute
  kLinkStyleImport = 18,     // @import in a style sheet of its own
};

// A page link adds one to the depth and starts a new chain of embedded resources.
inline bool IsPageLinkKind(int kind) {
  return kind == kLinkAnchor || kind == kLinkArea || kind == kLinkRedirect;
}
// An embedded resource keeps the depth and lengthens the chain.
inline bool IsEmbeddedLinkKind(int kind) {
  return kind == kLinkBackground || kind == kLinkFrame || kind == kLinkImage ||
         (kind >= kLinkStyleSheet && kind <= kLinkStyleImport);
}
// How much an embedded resource lengthens the chain. A sheet that a style sheet imports is part
// of the importing sheet: it keeps that sheet's chain, so that a page's look does not end after
// three imports (a theme that imports the classic sheet that imports the basic one), while the
// pictures they name still count one step.
inline int ChainStepOf(int kind) {
  return kind == kLinkStyleImport ? 0 : 1;
}

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
