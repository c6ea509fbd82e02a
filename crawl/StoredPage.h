#pragma once

#include <string_view>
#include <vector>

#include "crawl/PageLink.h"

namespace qlm {

class MirrorStore;
class StoredLinkCache;

// The links of a URL's stored copy, as a patrol re-reads a page it does not fetch again (a fresh
// copy, a 304 reply) and as the saved-data operations collect a page's files. Only a page or a
// style sheet yields links (StoredContentOf: file type none or html, a .css URL, or a copy stored
// as a page or style-sheet variant). The links are
// de-duplicated (DeduplicateLinks). False, with no links, when there is no stored page or it
// cannot be read.
// With a cache, links it keeps for the copy's bytes are taken from it instead of a scan, and a
// scan's links are kept there.
bool ReadStoredPageLinks(const MirrorStore& store, std::string_view url,
                         std::string_view folder_path, std::vector<PageLink>& links,
                         StoredLinkCache* cache = nullptr);

// Drops each link for which a later link of the same kind is the same URL (for a URL with a
// query) or begins with its whole text (for one without: a later link that differs by a fragment
// or merely extends the text makes the earlier one go). The order of the rest is kept.
std::vector<PageLink> DeduplicateLinks(const std::vector<PageLink>& links);

}  // namespace qlm
