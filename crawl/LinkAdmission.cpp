#include "crawl/LinkAdmission.h"

#include <vector>

#include "project/ExtensionFilter.h"
#include "project/ItemDefaults.h"
#include "project/ProjectItem.h"

namespace qlm {

LinkAdmission::LinkAdmission(const ProjectItem& item, const ItemDefaults& defaults,
                             std::vector<std::string> forbidden_urls)
    : item_(item), defaults_(defaults), forbidden_(std::move(forbidden_urls)) {
  pilot_area_ = defaults_.Resolve(item_, ItemOption::PilotArea);
  CUrl parsed;
  if (item_.URL() && parsed.Parse(*item_.URL())) {
    item_parsed_ = true;
    item_host_ = parsed.Host().value_or("");
    item_directory_url_ = parsed.DirectoryUrl();
  }
}

std::vector<std::string> LinkAdmission::ForbiddenUrls(const ProjectItem& root) {
  std::vector<std::string> urls;
  std::vector<const ProjectItem*> stack{&root};
  while (!stack.empty()) {
    const ProjectItem* item = stack.back();
    stack.pop_back();
    if (item->IsRecord()) {
      if (item->URL() && item->Effective(ItemOption::PilotType) == kPilotForbidden) {
        urls.push_back(*item->URL());
      }
      continue;
    }
    for (const ProjectItem* child = item->FirstChild(); child; child = child->Next()) {
      stack.push_back(child);
    }
  }
  return urls;
}

bool LinkAdmission::AdmitsUrl(const CUrl& link) const {
  if (pilot_area_ != 2) {
    if (!item_parsed_ || link.Host().value_or("") != item_host_) return false;
    // A plain text prefix: a sibling folder whose name begins with the same letters passes too.
    if (pilot_area_ == 0 && !link.Text().starts_with(item_directory_url_)) return false;
  }
  for (const std::string& forbidden : forbidden_) {
    if (link.Text().starts_with(forbidden)) return false;
  }
  return ExtensionFilter::Admits(item_, defaults_, link.Extension());
}

std::optional<LinkRecord> LinkAdmission::Admit(const LinkRecord& referrer, const PageLink& link,
                                               int mode) const {
  CUrl parsed;
  if (!parsed.Parse(link.url) || !AdmitsUrl(parsed)) return std::nullopt;
  int32_t depth = referrer.depth;
  int32_t chain = 0;
  switch (link.kind) {
    case kLinkAnchor:
    case kLinkArea:
    case kLinkRedirect:
      depth += 1;
      break;
    case kLinkBackground:
    case kLinkFrame:
    case kLinkImage:
      chain = referrer.chain + 1;
      break;
    default:
      return std::nullopt;
  }
  if (depth > referrer.graph_max || chain > kMaxChain) return std::nullopt;
  LinkRecord record;
  record.flags = mode == kToWorkQueue ? referrer.flags & ~0xF : referrer.flags;
  record.retry = referrer.retry;
  record.graph_max = referrer.graph_max;
  record.depth = depth;
  record.chain = chain;
  record.folder_path = referrer.folder_path;
  record.item_url = referrer.item_url;
  record.referer = referrer.url;
  record.url = parsed.Text();
  record.storage_name = link.storage_name;
  return record;
}

}  // namespace qlm
