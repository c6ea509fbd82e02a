#pragma once

#include <functional>
#include <string>
#include <vector>

#include "crawl/PageLink.h"
#include "net/CUrl.h"
#include "project/LinkRecord.h"

namespace qlm {

class CQLMDoc;
class PatrolEvents;
class PatrolUrlSet;

// Which links of a page become new link records: the item's area (PilotArea), the forbidden
// items, the item's file-type filters, the link kind, and the depth and chain limits, checked for
// every record that referred to the page (each against its own item's options).
//
// Modes: 0 queues the new records for the patrol (the authentication bits of the new records are
// cleared), 2 collects them for a saved-data operation (flags kept), any other mode only counts.
// Every record made is counted to the notify window (Detected) in every mode, but in a patrol with
// a URL set only the first record of each URL (see SetUrlSet). A record names its URL without the
// link's fragment: a fragment names a place in a page, not another resource.
class LinkAdmission {
 public:
  static constexpr int kModePatrol = 0;
  static constexpr int kModeCollect = 2;
  // Longest embedded-resource chain (a picture in a frame in a frame ...).
  static constexpr int kMaxChain = 3;

  // Takes a new record, with its URL parsed; false when it could not be kept (a queue file
  // failed). The record is the sink's to move from: the admission makes a new one for each.
  using Sink = std::function<bool(LinkRecord&, const CUrl&)>;

  // `forbidden_urls`: the URLs of the forbidden items as they stand in the items. A link is
  // dropped when it begins with one, or names its host (in any letter case) and port (80 when
  // none is named) and its path begins with the item's, escapes written alike. Empty texts are
  // ignored.
  LinkAdmission(const CQLMDoc& doc, std::vector<std::string> forbidden_urls, PatrolEvents& events);

  // The URLs of the items the document's last patrol start found forbidden.
  static std::vector<std::string> ForbiddenUrls(const CQLMDoc& doc);

  // Admits `links` (in order) for each referrer. In modes 0 and 2 each new record goes to `sink`.
  // Referrers whose item is gone from the project admit nothing. False when the sink failed; the
  // admission stops there.
  bool Admit(const std::vector<const LinkRecord*>& referrers, const std::vector<PageLink>& links,
             int mode, const Sink& sink);

  // The patrol's URLs: in mode 0 a link to a URL the set covers makes no record, and only a URL
  // new to the patrol is counted (Detected). Without a set every record made is counted.
  void SetUrlSet(PatrolUrlSet* urls) { urls_ = urls; }

 private:
  // A forbidden item's URL, as typed and parsed (a new CUrl when it does not parse).
  struct Forbidden {
    explicit Forbidden(std::string text) : typed(std::move(text)) {}
    bool Covers(const CUrl& link) const;
    std::string typed;
    CUrl url;
  };

  const CQLMDoc& doc_;
  std::vector<Forbidden> forbidden_;
  PatrolEvents& events_;
  PatrolUrlSet* urls_ = nullptr;
};

}  // namespace qlm
