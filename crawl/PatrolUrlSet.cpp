#include "crawl/PatrolUrlSet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/WholeFile.h"

namespace qlm {

namespace {

// The file: a header, then entries of kEntryBytes each:
//   first hash (8), second hash (8), depth (4), chain (1), mark (1), kEntryCheck (2).
// The header names the hashes: a file hashed otherwise (another build's string hash) is not read.
constexpr std::string_view kMagic = "QLMURLS1";
constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kEntryBytes = 24;
constexpr std::uint16_t kEntryCheck = 0x5155;

// A cell's words: the depth, `from`, two flags.
constexpr int kFromShift = 27;
constexpr std::uint32_t kDepthMask = (1u << kFromShift) - 1;
constexpr std::uint32_t kFromMask = 7u << kFromShift;
constexpr std::uint32_t kNever = 4;  // `from` of a Shallowest that is kNone
constexpr std::uint32_t kWide = 5;   // `from` of one kept in wide_
// The flags: visited and failed in the admissions' word, localizing in the expansions'.
constexpr std::uint32_t kVisitedFlag = 1u << 30;
constexpr std::uint32_t kFailedFlag = 1u << 31;
constexpr std::uint32_t kLocalizingFlag = 1u << 30;
constexpr std::uint32_t kFlags = 3u << 30;
constexpr std::uint32_t kFresh = kNever << kFromShift;

bool IsFree(const NameHash& key) {
  return key.first == 0 && key.second == 0;
}

// The key of a URL: never that of a free cell.
NameHash Occupying(NameHash key) {
  if (IsFree(key)) key.second = 1;
  return key;
}

// Sets `flag` in `word`; true when it was not set.
bool SetFlag(std::uint32_t& word, std::uint32_t flag) {
  return !(std::exchange(word, word | flag) & flag);
}

std::uint32_t FromOf(std::uint32_t word) {
  return (word & kFromMask) >> kFromShift;
}

std::string Header() {
  std::string header(kMagic);
  const NameHash probe = NameHash::Of("Quillmere patrol URLs");
  const std::uint64_t mixed = probe.first ^ probe.second;
  header.append(reinterpret_cast<const char*>(&mixed), sizeof mixed);
  return header;
}

}  // namespace

std::string PatrolUrlSetPath(std::string_view work_queue_path) {
  if (work_queue_path.ends_with(".uq")) work_queue_path.remove_suffix(3);
  return std::string(work_queue_path) + ".us";
}

PatrolUrlSet::~PatrolUrlSet() {
  if (fd_ >= 0) ::close(fd_);
}

bool PatrolUrlSet::Open(const std::string& path, bool fresh) {
  if (fd_ >= 0) ::close(fd_);
  Clear();
  pending_.clear();
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (fresh ? O_TRUNC : 0), 0600);
  if (fd_ < 0) return false;
  if (!fresh) ReadBack();
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  if (st.st_size == 0 && WriteAll(fd_, Header()) != 0) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  ::lseek(fd_, 0, SEEK_END);
  return true;
}

void PatrolUrlSet::ReadBack() {
  std::string bytes;
  char buffer[1 << 16];
  ::lseek(fd_, 0, SEEK_SET);
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  std::size_t good = 0;
  if (bytes.size() >= kHeaderBytes && bytes.compare(0, kHeaderBytes, Header()) == 0) {
    good = kHeaderBytes;
    for (; good + kEntryBytes <= bytes.size(); good += kEntryBytes) {
      const char* at = bytes.data() + good;
      NameHash key;
      int32_t depth = 0;
      std::uint16_t check = 0;
      std::memcpy(&key.first, at, 8);
      std::memcpy(&key.second, at + 8, 8);
      std::memcpy(&depth, at + 16, 4);
      const int chain = static_cast<unsigned char>(at[20]);
      const int mark = static_cast<unsigned char>(at[21]);
      std::memcpy(&check, at + 22, 2);
      if (check != kEntryCheck || chain > kMaxChain || mark < kAdmitted || mark > kFailed) break;
      Apply(key, static_cast<Mark>(mark), depth, chain);
    }
  }
  // What follows the last sound entry (a torn write, or a file of another kind) goes, so that new
  // entries line up; a file without a sound header starts anew.
  if (::ftruncate(fd_, static_cast<off_t>(good)) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void PatrolUrlSet::Remove() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!path_.empty()) ::unlink(path_.c_str());
  Clear();
  pending_.clear();
}

void PatrolUrlSet::Clear() {
  for (Segment& segment : segments_) segment = Segment();
  wide_ = {};
  size_ = 0;
  expanded_pages_ = 0;
}

NameHash PatrolUrlSet::Key(const LinkRecord& record) const {
  std::string_view url = record.url;
  // A fragment names a place in a page, not another resource.
  if (const std::size_t hash = url.find('#'); hash != std::string_view::npos) {
    url = url.substr(0, hash);
  }
  // NUL separates the parts: none of them holds one.
  key_.assign(record.folder_path).append(1, '\0').append(record.item_url).append(1, '\0');
  key_.append(url);
  return Occupying(NameHash::Of(key_));
}

PatrolUrlSet::Cell& PatrolUrlSet::Probe(const Segment& segment, const NameHash& key) {
  // The first hash, scaled to the segment's size, is the URL's first cell.
  const auto home = static_cast<unsigned __int128>(key.first) * segment.size >> 64;
  for (auto i = static_cast<std::size_t>(home);; i = i + 1 == segment.size ? 0 : i + 1) {
    Cell& cell = segment.cells[i];
    if (cell.key == key || IsFree(cell.key)) return cell;
  }
}

std::size_t PatrolUrlSet::SegmentOf(const NameHash& key) {
  return key.second >> (64 - kSegmentBits);
}

const PatrolUrlSet::Cell* PatrolUrlSet::Find(const NameHash& key) const {
  const Segment& segment = segments_[SegmentOf(key)];
  if (!segment.cells) return nullptr;
  const Cell& cell = Probe(segment, key);
  return IsFree(cell.key) ? nullptr : &cell;
}

PatrolUrlSet::Cell& PatrolUrlSet::FindOrAdd(const NameHash& key) {
  Segment& segment = segments_[SegmentOf(key)];
  Cell* cell = segment.cells ? &Probe(segment, key) : nullptr;
  if (cell && !IsFree(cell->key)) return *cell;
  // At most three quarters full, so that a probe for a new URL ends soon.
  if (!cell || (std::size_t{segment.used} + 1) * 4 > std::size_t{segment.size} * 3) {
    Grow(segment);
    cell = &Probe(segment, key);
  }
  *cell = {key, kFresh, kFresh};
  ++segment.used;
  ++size_;
  return *cell;
}

void PatrolUrlSet::Grow(Segment& segment) {
  Segment grown;
  const std::size_t size = segment.size == 0 ? 16 : segment.size + segment.size / 4;
  grown.cells = std::make_unique<Cell[]>(size);  // zeroed: all free
  grown.size = static_cast<std::uint32_t>(size);
  grown.used = segment.used;
  for (std::size_t i = 0; i < segment.size; ++i) {
    const Cell& cell = segment.cells[i];
    if (!IsFree(cell.key)) Probe(grown, cell.key) = cell;
  }
  segment = std::move(grown);
}

PatrolUrlSet::Shallowest PatrolUrlSet::Read(const Cell& cell, bool expansions) const {
  const std::uint32_t word = expansions ? cell.expanded : cell.admitted;
  const std::uint32_t from = FromOf(word);
  if (from == kNever) return kNone;
  if (from == kWide) {
    const Wide& wide = wide_.at(cell.key);
    return expansions ? wide.expanded : wide.admitted;
  }
  Shallowest shallowest = kNone;
  for (std::uint32_t c = from; c <= kMaxChain; ++c) {
    shallowest[c] = static_cast<int32_t>(word & kDepthMask);
  }
  return shallowest;
}

bool PatrolUrlSet::Lower(Shallowest& shallowest, int32_t depth, int chain) {
  if (shallowest[chain] <= depth) return false;
  for (int c = chain; c <= kMaxChain; ++c) shallowest[c] = std::min(shallowest[c], depth);
  return true;
}

bool PatrolUrlSet::Lower(Cell& cell, bool expansions, int32_t depth, int chain) {
  Shallowest shallowest = Read(cell, expansions);
  if (!Lower(shallowest, depth, chain)) return false;
  std::uint32_t& word = expansions ? cell.expanded : cell.admitted;
  const std::uint32_t flags = word & kFlags;
  // `from` is the first chain admitted; the word holds the array when all later ones agree.
  std::uint32_t from = 0;
  while (shallowest[from] == INT32_MAX) ++from;  // one chain at least was lowered
  bool plain = FromOf(word) != kWide && shallowest[from] >= 0 &&
               static_cast<std::uint32_t>(shallowest[from]) <= kDepthMask;
  for (std::uint32_t c = from + 1; plain && c <= kMaxChain; ++c) {
    plain = shallowest[c] == shallowest[from];
  }
  if (plain) {
    word = flags | (from << kFromShift) | static_cast<std::uint32_t>(shallowest[from]);
  } else {
    Wide& wide = wide_[cell.key];
    (expansions ? wide.expanded : wide.admitted) = shallowest;
    word = flags | (kWide << kFromShift);
  }
  return true;
}

bool PatrolUrlSet::Apply(const NameHash& key, Mark mark, int32_t depth, int chain) {
  Cell& cell = FindOrAdd(key);
  switch (mark) {
    case kAdmitted:
      return Lower(cell, false, depth, chain);
    case kVisited:
      return SetFlag(cell.admitted, kVisitedFlag);
    case kFailed:
      return SetFlag(cell.admitted, kFailedFlag);
  }
  return false;
}

void PatrolUrlSet::Note(const NameHash& key, Mark mark, int32_t depth, int chain) {
  if (fd_ < 0) return;
  char entry[kEntryBytes];
  std::memcpy(entry, &key.first, 8);
  std::memcpy(entry + 8, &key.second, 8);
  std::memcpy(entry + 16, &depth, 4);
  entry[20] = static_cast<char>(chain);
  entry[21] = static_cast<char>(mark);
  std::memcpy(entry + 22, &kEntryCheck, 2);
  pending_.append(entry, kEntryBytes);
}

PatrolUrlSet::Admitted PatrolUrlSet::Admit(const LinkRecord& record) {
  const NameHash key = Key(record);
  const int chain = std::clamp(record.chain, 0, kMaxChain);
  Cell& cell = FindOrAdd(key);
  // The entry may be there for an expansion or a mark alone: new is what was never admitted.
  const bool first = FromOf(cell.admitted) == kNever;
  if ((cell.admitted & kFailedFlag) || !Lower(cell, false, record.depth, chain)) {
    return Admitted::kCovered;
  }
  Note(key, kAdmitted, record.depth, chain);
  return first ? Admitted::kNew : Admitted::kShallower;
}

bool PatrolUrlSet::Expand(const LinkRecord& referrer) {
  Cell& cell = FindOrAdd(Key(referrer));
  const bool first = FromOf(cell.expanded) == kNever;
  if (!Lower(cell, true, referrer.depth, std::clamp(referrer.chain, 0, kMaxChain))) return false;
  if (first) ++expanded_pages_;
  return true;
}

bool PatrolUrlSet::ExpansionCovers(const LinkRecord& referrer) const {
  const Cell* cell = Find(Key(referrer));
  return cell && Read(*cell, true)[std::clamp(referrer.chain, 0, kMaxChain)] <= referrer.depth;
}

bool PatrolUrlSet::FirstLocalizing(const LinkRecord& page) {
  NameHash key = Key(page);
  if (!page.storage_name.empty()) {
    // Stored under another URL's name: another file to localise, with an entry of its own.
    key_.append(1, '\0').append(page.storage_name);
    key = Occupying(NameHash::Of(key_));
  }
  Cell& cell = FindOrAdd(key);
  return SetFlag(cell.expanded, kLocalizingFlag);
}

bool PatrolUrlSet::HasFailed(const LinkRecord& record) const {
  const Cell* cell = Find(Key(record));
  return cell && (cell->admitted & kFailedFlag);
}

bool PatrolUrlSet::FirstVisit(const LinkRecord& record) {
  const NameHash key = Key(record);
  if (!Apply(key, kVisited, 0, 0)) return false;
  Note(key, kVisited, 0, 0);
  return true;
}

bool PatrolUrlSet::FirstFailure(const LinkRecord& record) {
  const NameHash key = Key(record);
  if (!Apply(key, kFailed, 0, 0)) return false;
  Note(key, kFailed, 0, 0);
  return true;
}

bool PatrolUrlSet::Flush() {
  if (fd_ < 0 || pending_.empty()) return fd_ >= 0;
  const bool ok = WriteAll(fd_, pending_) == 0;
  pending_.clear();
  if (!ok) {
    // A set that cannot be written lives on in memory; a resumed patrol rebuilds what it lost.
    ::close(fd_);
    fd_ = -1;
  }
  return ok;
}

}  // namespace qlm
