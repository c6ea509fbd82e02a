#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "crawl/NameHash.h"
#include "crawl/PageLink.h"

namespace qlm {

// The links the patrols read from stored pages, kept in a file beside the queue files, so that a
// page the server reports unchanged (a 304 reply) is not scanned again. An entry holds the links
// of a page as the scanner finds them, before de-duplication, for its URL and item folder (the
// key), together with the length and hash of the stored bytes they were read from; for other
// bytes the page is read anew. A page that the localization pass rewrites keeps its entry, moved
// over to the rewritten bytes, since a rewritten page reads back as the links it had.
//
// The cache also keeps what the localization pass last made of each page: the bytes it left, the
// mirror's token (MirrorGeneration) and LocalizeLink it worked under. A page that still holds
// those bytes under the same token and LocalizeLink would come out of the pass as it is.
//
// A patrol reads the file at its start and writes a new one as it goes, entry by entry (so the
// links of the pages it fetches are not held in memory), which replaces the old one at its end.
// The cache saves work and is never a record: a missing, damaged or unwritable file costs only the
// scans it would have saved, and a patrol that is killed leaves the old file as it was. What is
// read is bounded (kMaxEntries, kMaxLinks, kMaxUrlBytes): a larger file reads as none.
class StoredLinkCache {
 public:
  static constexpr std::size_t kMaxEntries = 65536;  // of links, and of localizations
  static constexpr std::size_t kMaxLinks = std::size_t{1} << 20;
  static constexpr std::size_t kMaxUrlBytes = std::size_t{4} << 20;

  explicit StoredLinkCache(std::string file);
  ~StoredLinkCache();
  StoredLinkCache(const StoredLinkCache&) = delete;
  StoredLinkCache& operator=(const StoredLinkCache&) = delete;

  // The key of a page read for `url` in the item folder `folder_path`.
  static NameHash KeyOf(std::string_view url, std::string_view folder_path);

  // Reads the file and starts the new one; a missing or damaged file reads as an empty cache
  // (false).
  bool Load();
  // The links of the page `key` whose stored bytes are `bytes`; false when none are kept for them.
  bool Find(const NameHash& key, const StoredBytes& bytes, std::vector<PageLink>& links);
  // Keeps `links` as those of page `key` with `bytes`.
  void Put(const NameHash& key, const StoredBytes& bytes, const std::vector<PageLink>& links);
  // The page `key` was rewritten from `before` to `after`: an entry for `before` now holds for
  // `after`.
  void Rewritten(const NameHash& key, const StoredBytes& before, const StoredBytes& after);
  // The bytes the localization pass left in page `key` under `token` and `localize_link`, when
  // it was localised under them.
  std::optional<StoredBytes> LocalizedAs(const NameHash& key, std::uint64_t token,
                                         int localize_link) const;
  // Page `key` was localised under `token` and `localize_link` and holds `bytes` now.
  void Localized(const NameHash& key, const StoredBytes& bytes, std::uint64_t token,
                 int localize_link);
  // Puts the new file in place of the old one. With `used_only` (a patrol that went through to
  // its end) the pages the patrol did not reach are dropped; otherwise they are kept. False when
  // the new file could not be written (the old one stays).
  bool Save(bool used_only);

 private:
  // URLs by number and numbers by URL, their texts one after another.
  class UrlNumbers {
   public:
    static constexpr std::uint32_t kFull = (std::uint32_t{1} << 24) - 1;
    std::string_view Url(std::uint32_t n) const;
    // The number of `url`; kFull when there is no room.
    std::uint32_t Number(std::string_view url);
    void Clear();

   private:
    struct Hash {
      const UrlNumbers* numbers;
      using is_transparent = void;
      std::size_t operator()(std::uint32_t n) const { return (*this)(numbers->Url(n)); }
      std::size_t operator()(std::string_view url) const;
    };
    struct Equal {
      const UrlNumbers* numbers;
      using is_transparent = void;
      bool operator()(std::uint32_t a, std::uint32_t b) const { return a == b; }
      bool operator()(std::string_view a, std::uint32_t b) const { return a == numbers->Url(b); }
      bool operator()(std::uint32_t a, std::string_view b) const { return numbers->Url(a) == b; }
    };
    std::string text_;
    std::vector<std::uint32_t> ends_;  // where each URL ends in text_
    std::unordered_set<std::uint32_t, Hash, Equal> set_{0, Hash{this}, Equal{this}};
  };

  struct Entry {
    StoredBytes bytes;
    std::uint32_t first = 0;  // of its links in links_
    std::uint32_t count = 0;
    bool written = false;     // to the new file, or replaced there
  };
  // What the localization pass made of a page.
  struct Localization {
    StoredBytes bytes;
    std::uint64_t token = 0;
    std::int32_t localize_link = 0;
    bool written = false;  // to the new file, or replaced there
  };
  // A link: its kind in the high byte, its URL's number below.
  static constexpr unsigned kKindShift = 24;

  bool Read(std::string_view bytes);
  void Clear();
  // Appends an entry to the new file.
  void Write(const NameHash& key, const StoredBytes& bytes, const std::vector<PageLink>& links);
  void WriteLocalization(const NameHash& key, const Localization& localization);
  void Flush();

  const std::string file_;
  // What was read.
  UrlNumbers read_urls_;
  std::vector<std::uint32_t> links_;
  std::unordered_map<NameHash, Entry, NameHash::Hasher> entries_;
  std::unordered_map<NameHash, Localization, NameHash::Hasher> localized_;
  // The new file: its descriptor (-1 when it could not be made or a write failed) and what waits
  // to be written.
  int out_ = -1;
  bool out_failed_ = false;
  std::string pending_;
};

}  // namespace qlm
