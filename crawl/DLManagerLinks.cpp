// The download manager's link handling: a page's links admitted into the work queue (from a
// fetched page or from its stored copy), pages put into the localize queue, a page's title taken
// for its item, and the visited and failed counters.
#include <mutex>

#include "crawl/ContentRules.h"
#include "crawl/DLManager.h"
#include "crawl/DistinctLinks.h"
#include "crawl/PageScanner.h"
#include "crawl/StoredPage.h"
#include "crawl/StoredVariant.h"
#include "platform/ApplicationLock.h"
#include "project/CQLMDoc.h"

namespace qlm {

void DLManager::ReadStoredPage(const std::vector<const LinkRecord*>& referrers,
                               const LinkRecord& page, int mode,
                               const LinkAdmission::Sink& collect) {
  CUrl url;
  if (!url.Parse(page.url)) {
    events_.Handling(page.url);
    return;
  }
  ReadStoredPage(referrers, page, url, mode, collect);
}

void DLManager::ReadStoredPage(const std::vector<const LinkRecord*>& referrers,
                               const LinkRecord& page, const CUrl& url, int mode,
                               const LinkAdmission::Sink& collect) {
  events_.Handling(page.url);
  // Only a page or a style sheet holds links; what a URL with variants holds, its copy tells.
  const std::string_view bare;
  if (HasStoredVariants(url)
          ? StoredContentOf(url, store_.FindLocalCopy(url, page.folder_path).suffix) ==
                StoredContent::kOther
          : StoredContentOf(url, bare) == StoredContent::kOther) {
    return;
  }
  std::vector<const LinkRecord*> expanding;
  for (const LinkRecord* referrer : referrers) {
    if (mode != LinkAdmission::kModePatrol || urls_.Expand(*referrer)) {
      expanding.push_back(referrer);
    }
  }
  if (expanding.empty()) return;  // expanded before in this patrol, no deeper
  std::vector<PageLink> links;
  if (!ReadStoredPageLinks(store_, page.url, page.folder_path, links, link_cache_.get())) return;
  if (mode == LinkAdmission::kModePatrol) {
    AdmitToWork(expanding, links);
    QueueForLocalizing(page, false);
  } else {
    Admission().Admit(expanding, links, mode, collect);
  }
}

bool DLManager::AdmitToWork(const std::vector<const LinkRecord*>& referrers,
                            const std::vector<PageLink>& links) {
  // A page's records go into the queue file together. Many links of a densely linked site lead
  // to files this patrol stored already: such a record is counted visited at once instead of
  // being written to the queue, read back, looked up and let go of, for the same end.
  // The lists are kept between pages for their room; the settled URLs go end to end in one text.
  std::vector<LinkRecord>& admitted = admitted_;
  admitted.clear();
  settled_urls_.clear();
  settled_ends_.clear();
  Admission().Admit(referrers, links, LinkAdmission::kModePatrol,
                    [&](LinkRecord& record, const CUrl& url) {
                      if (SettledAlready(record, url)) {
                        if (urls_.FirstVisit(record)) {
                          settled_urls_ += record.url;
                          settled_ends_.push_back(settled_urls_.size());
                        }
                      } else {
                        admitted.push_back(std::move(record));
                      }
                      return true;
                    });
  std::size_t start = 0;
  for (const std::size_t end : settled_ends_) {
    const std::string_view url = std::string_view(settled_urls_).substr(start, end - start);
    events_.Handling(url);
    events_.Visited(url);
    start = end;
  }
  const bool appended = work_.AppendAll(admitted);
  // After the records it stands for: a kill in between leaves a URL queued, never noted but lost.
  if (appended) urls_.Flush();
  return appended;
}

void DLManager::CountVisited(const LinkRecord& record) {
  if (urls_.FirstVisit(record)) events_.Visited(record.url);
}

void DLManager::CountFailed(const LinkRecord& record, int reason) {
  if (urls_.FirstFailure(record)) events_.Failed(record.url, reason);
}

void DLManager::QueueForLocalizing(const LinkRecord& page, bool when_durable) {
  // Read again from a shallower link, a page is not queued again: the pass rewrites it once, after
  // all fetching, whatever queued it.
  if (!urls_.FirstLocalizing(page)) return;
  if (when_durable ? work_.AppendLocalizeWhenDurable(page) : work_.AppendLocalize(page)) {
    events_.Localizing();
  }
}

bool DLManager::SettledAlready(const LinkRecord& record, const CUrl& url) {
  // What Process would find: nobody fetches the URL now, its copy is one this patrol wrote (so
  // Renew only reads it), and the copy is no page or a page expanded before no deeper.
  if (BusyWithUrl(record, url) ||
      !store_.RemembersWritingSince(url, record.folder_path, patrol_start_)) {
    return false;
  }
  return StoredContentOf(url, {}) == StoredContent::kOther || urls_.ExpansionCovers(record);
}

void DLManager::ExpandFetchedPage(DLObj& obj, std::string_view page, bool style_sheet) {
  const LinkRecord& current = obj.Current();
  PageScanner scanner;
  DistinctLinks distinct;
  scanner.SetDistinct(&distinct);
  std::vector<PageLink>& links = page_links_;
  links.clear();
  std::string title;
  if (style_sheet) {
    scanner.ScanStyleSheet(current.url, page, links);
  } else {
    scanner.ScanBytes(current.url, page, links, title);
  }
  if (!title.empty()) TakeTitle(obj, title);
  // Kept for the next patrol: the localization pass moves the entry over to the bytes it writes.
  if (link_cache_ && current.storage_name.empty()) {
    link_cache_->Put(StoredLinkCache::KeyOf(current.url, current.folder_path),
                     StoredBytes::Of(page), links);
  }
  std::vector<const LinkRecord*> expanding;
  for (const HeldRecord& held : obj.Records()) {
    if (urls_.Expand(held.record)) expanding.push_back(&held.record);
  }
  if (expanding.empty()) return;  // expanded before in this patrol, no deeper
  QueueForLocalizing(current, true);
  AdmitToWork(expanding, links);
}

void DLManager::TakeTitle(DLObj& obj, const std::string& title) {
  std::lock_guard lock(ApplicationLock());
  for (const HeldRecord& held : obj.Records()) {
    const LinkRecord& record = held.record;
    if (record.item_url != record.url) continue;
    // The document is not const; FindItem only hands its items out as such.
    auto* item = const_cast<ProjectItem*>(FindItem(record));
    if (!item || item->Title() == title) continue;
    item->SetTitle(title);
    doc_.SetModified(true);
    if (request_->title_changed)
      request_->title_changed(record.folder_path, record.item_url, title);
  }
}

}  // namespace qlm
