#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "crawl/NameHash.h"
#include "project/LinkRecord.h"

namespace qlm {

// The URLs of one patrol, per item: the shallowest depth and chain each was admitted at, whether
// it was counted visited, and whether it failed all its tries. A link to a URL admitted before no
// deeper is not admitted again, and a URL that failed is not asked for again: each URL becomes one
// record, however many pages link to it, and the counters count URLs, not links.
//
// The same entries tell which pages were expanded (read for links and their links admitted), at
// which depth and chain, and which were put into the localize queue. A page reached again no
// shallower would only admit records that its earlier expansion admitted already with a depth and
// chain no greater, so its links are not admitted again: the work of a patrol grows with the pages
// of a site, not with the paths through it. Expansions live in memory only: a resumed patrol may
// expand a page once more.
//
// The set lives beside the queue files, in an append-only file of fixed-size entries, so that a
// stopped or killed patrol resumes with it: a URL is noted there after its record went into the
// work queue (Flush), so a kill in between can only leave a URL queued twice, never one noted but
// lost. A torn last entry is cut off when the file is read back. A URL costs a few dozen bytes in
// memory whatever the length of its text: it is known by two independent 64-bit hashes of (item
// folder path, item URL, URL). Two URLs pass for one only when both hashes agree; with n URLs the
// odds are about n * n / 2^129.
// The set's file for a work queue file: its name with ".us" for ".uq".
std::string PatrolUrlSetPath(std::string_view work_queue_path);

class PatrolUrlSet {
 public:
  // Chains run from 0 to this (a longer one is never admitted).
  static constexpr int kMaxChain = 3;
  enum class Admitted {
    kNew,        // first time in this patrol: counted as detected
    kShallower,  // known, but reached by a shorter way: queued again, not counted again
    kCovered,    // known at a depth and chain no greater, or failed: not queued
  };

  PatrolUrlSet() = default;
  ~PatrolUrlSet();
  PatrolUrlSet(const PatrolUrlSet&) = delete;
  PatrolUrlSet& operator=(const PatrolUrlSet&) = delete;

  // Opens the set's file: emptied for a new patrol (`fresh`), else read back (entries of a patrol
  // that was stopped or killed). False when the file cannot be opened; the set then lives in
  // memory only (a resumed patrol may then fetch a URL once more).
  bool Open(const std::string& path, bool fresh);
  // The patrol ended: the file goes.
  void Remove();

  // Notes the URL of `record` (str3 without its fragment, for its item) at its depth and chain.
  Admitted Admit(const LinkRecord& record);
  bool HasFailed(const LinkRecord& record) const;
  // True the first time the URL of `record` is counted visited in this patrol.
  bool FirstVisit(const LinkRecord& record);
  // Marks the URL failed; true the first time.
  bool FirstFailure(const LinkRecord& record);
  // Writes what was noted since the last call to the file.
  bool Flush();

  // True when the page of `referrer` (its str3, for its item) is to be expanded at the referrer's
  // depth and chain; the expansion is then recorded. False when an earlier one covers it.
  bool Expand(const LinkRecord& referrer);
  // True when an earlier expansion covers the page of `referrer` (Expand would say false); records
  // nothing.
  bool ExpansionCovers(const LinkRecord& referrer) const;
  // True the first time it is asked for the page of `page` (stored under its str5 when it has
  // one), expanded or not: the page is to be put into the localize queue then.
  bool FirstLocalizing(const LinkRecord& page);
  // Pages expanded so far, each counted once however often it was expanded.
  std::size_t ExpandedPages() const { return expanded_pages_; }

  std::size_t Size() const { return size_; }

 private:
  enum Mark : std::uint8_t { kAdmitted = 1, kVisited = 2, kFailed = 3 };
  // For each chain c, the smallest depth of an admission (or expansion) with a chain of at most c:
  // one at (depth, chain) is covered exactly when shallowest[chain] <= depth.
  using Shallowest = std::array<int32_t, kMaxChain + 1>;
  static constexpr Shallowest kNone = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};

  // A URL in 24 bytes. Nearly every Shallowest is "none below chain `from`, `depth` from there
  // on", which a word holds with a flag bit beside it:
  //   bits 0-26 the depth, bits 27-29 `from` (0 to 3, kNever, kWide), bit 30 and 31 flags.
  // Any other (a URL reached deeper by a shorter chain, a depth beyond 27 bits) is kept whole in
  // wide_, and its word says kWide.
  struct Cell {
    NameHash key;            // {0, 0}: a free cell
    std::uint32_t admitted;  // flags: visited (bit 30), failed (bit 31)
    std::uint32_t expanded;  // flag: localizing (bit 30)
  };
  struct Wide {
    Shallowest admitted = kNone;
    Shallowest expanded = kNone;
  };
  // The table is split by the key's top bits into segments that grow one at a time, so that
  // growing never holds two copies of the whole set, and so each can grow by a quarter rather
  // than double: a table that doubles is from three eighths to three quarters full, one that
  // grows by a quarter from three fifths. Open addressing with linear probing: a URL is one or
  // two cache lines away, where a node map costs three misses; nothing is ever taken out but by
  // Clear.
  struct Segment {
    std::unique_ptr<Cell[]> cells;
    std::uint32_t size = 0;  // of `cells`; none yet when 0
    std::uint32_t used = 0;
  };
  static constexpr int kSegmentBits = 8;

  NameHash Key(const LinkRecord& record) const;
  static std::size_t SegmentOf(const NameHash& key);
  // The cell of `key` in a segment with cells, or the free one where it would go.
  static Cell& Probe(const Segment& segment, const NameHash& key);
  const Cell* Find(const NameHash& key) const;
  Cell& FindOrAdd(const NameHash& key);
  static void Grow(Segment& segment);
  Shallowest Read(const Cell& cell, bool expansions) const;
  // Lowers the cell's admissions (or expansions) to take in (depth, chain); false when they
  // covered them already.
  bool Lower(Cell& cell, bool expansions, int32_t depth, int chain);
  static bool Lower(Shallowest& shallowest, int32_t depth, int chain);
  // Applies one entry; true when it changed the set.
  bool Apply(const NameHash& key, Mark mark, int32_t depth, int chain);
  void Note(const NameHash& key, Mark mark, int32_t depth, int chain);
  void ReadBack();
  // Empties the set and gives its memory back.
  void Clear();

  std::array<Segment, std::size_t{1} << kSegmentBits> segments_;
  std::unordered_map<NameHash, Wide, NameHash::Hasher> wide_;
  std::size_t size_ = 0;
  std::size_t expanded_pages_ = 0;
  std::string path_;
  int fd_ = -1;
  std::string pending_;      // entries noted, not yet written
  mutable std::string key_;  // the hashed text, kept to save an allocation per call
};

}  // namespace qlm
