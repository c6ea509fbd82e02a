#include "crawl/StoredPage.h"

#include <map>
#include <set>
#include <string>

#include "crawl/DistinctLinks.h"
#include "crawl/LocalPath.h"
#include "crawl/MirrorStore.h"
#include "crawl/PageScanner.h"
#include "crawl/StoredLinkCache.h"
#include "crawl/StoredVariant.h"
#include "net/CUrl.h"

namespace qlm {

bool ReadStoredPageLinks(const MirrorStore& store, std::string_view url,
                         std::string_view folder_path, std::vector<PageLink>& links,
                         StoredLinkCache* cache) {
  links.clear();
  CUrl parsed;
  if (!parsed.Parse(url)) return false;
  std::string page;
  StoredContent content = StoredContent::kOther;
  {
    std::lock_guard guard(store.Lock());
    const LocalCopy copy = store.FindLocalCopy(url, folder_path);
    if (!copy.Exists()) return false;
    content = StoredContentOf(parsed, copy.suffix);
    if (content == StoredContent::kOther || !ReadWholeFile(copy.file, page)) return false;
  }
  StoredBytes bytes;
  NameHash key;
  if (cache) {
    bytes = StoredBytes::Of(page);
    key = StoredLinkCache::KeyOf(url, folder_path);
    std::vector<PageLink> kept;
    if (cache->Find(key, bytes, kept)) {
      links = DeduplicateLinks(kept);
      return true;
    }
  }
  PageScanner scanner;
  DistinctLinks distinct;
  scanner.SetDistinct(&distinct);
  std::vector<PageLink> found;
  std::string title;
  if (content == StoredContent::kStyleSheet) {
    scanner.ScanStyleSheet(url, page, found);
  } else {
    scanner.ScanBytes(url, page, found, title);
  }
  if (cache) cache->Put(key, bytes, found);
  links = DeduplicateLinks(found);
  return true;
}

std::vector<PageLink> DeduplicateLinks(const std::vector<PageLink>& links) {
  // Walking backwards, the sets hold the URLs of the later links of each kind; a sorted set finds
  // a later URL that begins with a given text as the first one not less than it.
  std::map<int, std::set<std::string>> later;
  std::vector<bool> keep(links.size(), true);
  for (std::size_t i = links.size(); i-- > 0;) {
    const PageLink& link = links[i];
    std::set<std::string>& seen = later[link.kind];
    const bool has_query = link.url.find('?') != std::string::npos;
    if (has_query) {
      keep[i] = !seen.contains(link.url);
    } else {
      const auto next = seen.lower_bound(link.url);
      keep[i] = next == seen.end() || !next->starts_with(link.url);
    }
    seen.insert(link.url);
  }
  std::vector<PageLink> result;
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (keep[i]) result.push_back(links[i]);
  }
  return result;
}

}  // namespace qlm
