#pragma once

#include <optional>
#include <string>
#include <vector>

#include "crawl/PageLink.h"
#include "net/CUrl.h"
#include "project/LinkRecord.h"

namespace qlm {

class ItemDefaults;
class ProjectItem;

// Which links of a page a patrol follows, for one project item: the area the item may roam
// (PilotArea), the forbidden items, the item's extension filters, the link kinds, and the depth
// (GraphMax) and embedded-resource chain (at most 3) limits.
class LinkAdmission {
 public:
  // Where admitted records go: the work queue of a patrol, or the collect list of a saved-data
  // operation. Mode 0 clears the low four flag bits (the authentication state) of new records.
  enum Mode : int { kToWorkQueue = 0, kToCollectList = 2 };
  // Longest chain of embedded resources (a frame's pictures, ...) followed from a page.
  static constexpr int32_t kMaxChain = 3;

  // `forbidden_urls`: the URLs of the forbidden URL items, as they stand in the items
  // (ForbiddenUrls). The item and the defaults must outlive this object.
  LinkAdmission(const ProjectItem& item, const ItemDefaults& defaults,
                std::vector<std::string> forbidden_urls);

  // The URL items of the tree below `root` (itself included) whose effective patrol mark is
  // forbidden, by their URLs as entered.
  static std::vector<std::string> ForbiddenUrls(const ProjectItem& root);

  // Whether the item follows links to this URL at all: its host and area, the forbidden items
  // and the extension filters.
  bool AdmitsUrl(const CUrl& link) const;

  // The record that `link`, found in the page of `referrer`, gives: a page link (kinds 1, 2, 9)
  // one level deeper with the chain reset, an embedded resource (kinds 4, 5, 7) at the same depth
  // with the chain one longer; nothing for other kinds, links the item does not follow, or when
  // the depth would exceed the referrer's GraphMax or the chain kMaxChain.
  std::optional<LinkRecord> Admit(const LinkRecord& referrer, const PageLink& link, int mode) const;

 private:
  const ProjectItem& item_;
  const ItemDefaults& defaults_;
  std::vector<std::string> forbidden_;
  // PilotArea with the application default: 0 the item URL's folder and below, 1 its host,
  // 2 anywhere.
  int32_t pilot_area_ = 0;
  // From the item's URL; item_parsed_ false when it does not parse (nothing is then admitted
  // unless PilotArea is 2).
  bool item_parsed_ = false;
  std::string item_host_;
  std::string item_directory_url_;
};

}  // namespace qlm
