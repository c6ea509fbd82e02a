#pragma once

#include <cstddef>
#include <optional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "crawl/MirrorFiles.h"
#include "crawl/MirrorStore.h"
#include "crawl/NameHash.h"
#include "crawl/PageScanner.h"

namespace qlm {

// Rewrites the links of a stored page or style sheet so that the mirror can be browsed offline: a
// link whose target is stored (or, with LocalizeLink on, every link) points at the target's local
// file (with its stored variant) by a relative path; any other link is written as its absolute
// URL. The rewritten page or sheet carries the version mark that tells a later scan to read
// those relative paths back as URLs.
class PageLocalizer : private LinkRewriter {
 public:
  enum Result : int {
    kLocalized = 0,
    kAlreadyLocalized = 1,  // the copy was written after the phase began: rewritten in this pass
    kNoLocalCopy = -1,      // nothing is stored for the page
    kRewriteFailed = -2,    // the rewritten copy could not be written; the page stays as it was
    kUnreadable = -4,       // the stored page cannot be read
  };

  // `staging`: a staging file of the calling thread's own (MirrorStore::HelperStagingFile), for
  // localisers that run side by side; empty: the store's.
  explicit PageLocalizer(const MirrorStore& store, std::string staging = {})
      : store_(store), staging_(std::move(staging)) {}

  // A page at least this large is rewritten only while holding the lock given to
  // SetLargePageLock: it is in memory twice (as read and rewritten), and two such pages at once
  // on threads side by side would be what the patrol's memory peaks at. A site's largest pages
  // are few (the real site's: 38 of 530 pages from 256 KiB on), so the others still go side by
  // side with them.
  static constexpr std::size_t kLargePage = std::size_t{1} << 18;
  // The lock that localisers side by side share (none: no lock is taken).
  void SetLargePageLock(std::mutex* lock) { large_page_lock_ = lock; }

  // Rewrites the stored copy of `page_url` (the item's local copy, a cgi page's variant) in
  // place, unless it was written after `phase_start`. `localize_link` is the item's effective
  // LocalizeLink (0 when unset). `stored_as`, when not empty, is the URL under whose local name
  // the page was stored (a cgi URL that redirected to it); its links still count from `page_url`.
  // `outcome`, when given, receives the bytes the page held and holds now (when it was read), and
  // when the page was written anew, its file and the last-write times it had and has.
  // A page that holds `localized_as`, the bytes the pass left in it the last time under the same
  // local copies and LocalizeLink (StoredLinkCache::LocalizedAs), is left as it is.
  struct Outcome {
    StoredBytes read;
    StoredBytes written;
    std::string file;
    FileTime before{};
    std::optional<FileTime> after;
  };
  int Localize(std::string_view page_url, std::string_view folder_path, int localize_link,
               FileTime phase_start, std::string_view stored_as = {}, Outcome* outcome = nullptr,
               const std::optional<StoredBytes>& localized_as = std::nullopt);

  // The rewritten bytes of a page stored at `page_location` (its local name) for `page_url`.
  std::string Rewrite(std::string_view page_url, std::string_view page_location,
                      std::string_view folder_path, int localize_link, std::string_view page);
  // The same for a style sheet stored at `sheet_location`: its url() and @import references.
  std::string RewriteStyleSheet(std::string_view sheet_url, std::string_view sheet_location,
                                std::string_view folder_path, int localize_link,
                                std::string_view sheet);

 private:
  std::string RewriteLink(const PageScanner& scanner, const std::string& value) override;
  void Begin(std::string_view location, std::string_view folder_path, int localize_link);

  const MirrorStore& store_;
  const std::string staging_;
  PageScanner scanner_;
  // The page being rewritten: its local name, its item's folder path, and LocalizeLink.
  std::string page_location_;
  std::string folder_path_;
  LocalCopy target_;  // the last link's lookup, kept for the room of its strings
  int localize_link_ = 0;
  std::mutex* large_page_lock_ = nullptr;
};

}  // namespace qlm
