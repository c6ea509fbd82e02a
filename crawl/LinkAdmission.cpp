#include "crawl/LinkAdmission.h"

#include <algorithm>
#include <mutex>

#include "crawl/PatrolEvents.h"
#include "crawl/PatrolUrlSet.h"
#include "net/CUrl.h"
#include "platform/ApplicationLock.h"
#include "project/CQLMDoc.h"
#include "project/ExtensionFilter.h"

namespace qlm {

namespace {

bool SameHost(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  if (!a || !b || a->size() != b->size()) return false;
  for (std::size_t i = 0; i < a->size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower((*a)[i]) != lower((*b)[i])) return false;
  }
  return true;
}

// A port named as written ("", "80", "0443" ...) or left out is its scheme's default when its
// value is.
bool OnDefaultPort(const CUrl& url) {
  if (!url.Port() || url.Port()->empty()) return true;
  if (url.Port()->size() > 5) return false;
  return std::stoi(*url.Port()) == CUrl::DefaultPort(url.Scheme());
}

// One site of the patrol: the same host (of any letter case) over http or https on the
// schemes' default ports, or the same scheme on the same other port.
bool SameSite(const CUrl& a, const CUrl& b) {
  if (!a.IsWeb() || !b.IsWeb() || !SameHost(a.Host(), b.Host())) return false;
  const bool a_default = OnDefaultPort(a);
  if (a_default || OnDefaultPort(b)) return a_default && OnDefaultPort(b);
  return a.Scheme() == b.Scheme() && std::stoi(*a.Port()) == std::stoi(*b.Port());
}

// The item's directory as a plain text prefix, as the area has always been; a link over the
// other scheme to the same site is measured by what follows the site URLs.
bool InItemDirectory(const CUrl& link, const CUrl& item) {
  if (link.Text().starts_with(item.DirectoryUrl())) return true;
  if (link.Scheme() == item.Scheme() || !SameSite(link, item)) return false;
  const std::string_view rest = std::string_view(link.Text()).substr(link.SiteUrl().size());
  return rest.starts_with(item.DirectoryUrl().substr(item.SiteUrl().size()));
}

bool IsPageLink(int kind) {
  return IsPageLinkKind(kind);
}

bool IsEmbedded(int kind) {
  return IsEmbeddedLinkKind(kind);
}

// What a referrer's item says about links, read once per admission.
struct ItemRules {
  const ProjectItem* item = nullptr;  // null when the item is gone
  int pilot_area = 0;
  CUrl item_url;
};

}  // namespace

LinkAdmission::LinkAdmission(const CQLMDoc& doc, std::vector<std::string> forbidden_urls,
                             PatrolEvents& events)
    : doc_(doc), forbidden_(forbidden_urls.begin(), forbidden_urls.end()), events_(events) {
  std::erase_if(forbidden_, [](const Forbidden& area) { return area.typed.empty(); });
  // A URL that does not parse is left as a new record, which names no scheme.
  for (Forbidden& area : forbidden_) area.url.Parse(area.typed);
}

bool LinkAdmission::Forbidden::Covers(const CUrl& link) const {
  if (link.Text().starts_with(typed)) return true;
  // The same place written otherwise: the host in other letter case, the default port named,
  // the other of http and https.
  return SameSite(link, url) && link.RequestTarget().starts_with(url.RequestTarget());
}

std::vector<std::string> LinkAdmission::ForbiddenUrls(const CQLMDoc& doc) {
  std::lock_guard lock(ApplicationLock());
  std::vector<std::string> urls;
  for (const ProjectItem* item : doc.Forbidden()) {
    if (item->URL()) urls.push_back(*item->URL());
  }
  return urls;
}

bool LinkAdmission::Admit(const std::vector<const LinkRecord*>& referrers,
                          const std::vector<PageLink>& links, int mode, const Sink& sink) {
  std::lock_guard lock(ApplicationLock());
  const ItemDefaults& defaults = doc_.Defaults();
  std::vector<ItemRules> rules(referrers.size());
  for (std::size_t r = 0; r < referrers.size(); ++r) {
    ItemRules& rule = rules[r];
    rule.item = doc_.FindItem(referrers[r]->folder_path, referrers[r]->item_url);
    if (!rule.item || !rule.item_url.Parse(referrers[r]->item_url)) {
      rule.item = nullptr;
      continue;
    }
    rule.pilot_area = defaults.Resolve(*rule.item, ItemOption::PilotArea);
    if (rule.pilot_area < 0) rule.pilot_area = 0;
  }

  CUrl parsed_here;
  // One record for all links: its strings keep their room from one link to the next.
  LinkRecord record;
  for (const PageLink& link : links) {
    const bool page = IsPageLink(link.kind);
    if (!page && !IsEmbedded(link.kind)) continue;
    if (!link.parsed && !parsed_here.Parse(link.url)) continue;
    const CUrl& link_url = link.parsed ? *link.parsed : parsed_here;
    std::string_view text = link_url.Text();
    if (const auto& fragment = link_url.Fragment()) text.remove_suffix(fragment->size() + 1);
    if (std::ranges::any_of(forbidden_,
                            [&](const Forbidden& area) { return area.Covers(link_url); })) {
      continue;
    }

    for (std::size_t r = 0; r < referrers.size(); ++r) {
      const ItemRules& rule = rules[r];
      if (!rule.item) continue;
      if (rule.pilot_area != 2 && !SameHost(link_url.Host(), rule.item_url.Host())) continue;
      // A plain text prefix, as the area has always been: a sibling folder whose name begins with
      // the same letters is inside it too.
      if (rule.pilot_area == 0 && !InItemDirectory(link_url, rule.item_url)) continue;
      if (!ExtensionFilter::Admits(*rule.item, defaults, link_url.Extension())) continue;

      const LinkRecord& from = *referrers[r];
      const int32_t depth = from.depth + (page ? 1 : 0);
      const int32_t chain = page ? 0 : from.chain + ChainStepOf(link.kind);
      if (depth > from.graph_max || chain > kMaxChain) continue;
      // Every field is set anew: the sink may have taken the last record's strings.
      record.reserved = 0;
      record.flags = mode == kModePatrol ? (from.flags & ~0xF) : from.flags;
      record.retry = from.retry;
      record.graph_max = from.graph_max;
      record.depth = depth;
      record.chain = chain;
      record.folder_path = from.folder_path;
      record.item_url = from.item_url;
      record.referer = from.url;
      record.url = text;
      record.robots_url.clear();
      record.storage_name = link.storage_name;
      bool counted = true;
      if (mode == kModePatrol && urls_) {
        const PatrolUrlSet::Admitted admitted = urls_->Admit(record);
        if (admitted == PatrolUrlSet::Admitted::kCovered) continue;
        counted = admitted == PatrolUrlSet::Admitted::kNew;
      }
      if ((mode == kModePatrol || mode == kModeCollect) && sink && !sink(record, link_url)) {
        return false;
      }
      if (counted) events_.Detected();
    }
  }
  return true;
}

}  // namespace qlm
