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
  {
    // The entries and the buckets go with the map before their pools are let go.
    decltype(urls_) empty(&pool_);
    urls_.swap(empty);
  }
  pool_.release();
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
  return NameHash::Of(key_);
}

bool PatrolUrlSet::Lower(Shallowest& shallowest, int32_t depth, int chain) {
  if (shallowest[chain] <= depth) return false;
  for (int c = chain; c <= kMaxChain; ++c) shallowest[c] = std::min(shallowest[c], depth);
  return true;
}

bool PatrolUrlSet::Apply(const NameHash& key, Mark mark, int32_t depth, int chain) {
  Url& url = urls_[key];
  switch (mark) {
    case kAdmitted:
      return Lower(url.shallowest, depth, chain);
    case kVisited:
      return !std::exchange(url.visited, true);
    case kFailed:
      return !std::exchange(url.failed, true);
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
  Url& url = urls_[key];
  // The entry may be there for an expansion or a mark alone: new is what was never admitted.
  const bool first = url.shallowest[kMaxChain] == INT32_MAX;
  if (url.failed || !Lower(url.shallowest, record.depth, chain)) return Admitted::kCovered;
  Note(key, kAdmitted, record.depth, chain);
  return first ? Admitted::kNew : Admitted::kShallower;
}

bool PatrolUrlSet::Expand(const LinkRecord& referrer) {
  Shallowest& expanded = urls_[Key(referrer)].expanded;
  const bool first = expanded[kMaxChain] == INT32_MAX;
  if (!Lower(expanded, referrer.depth, std::clamp(referrer.chain, 0, kMaxChain))) return false;
  if (first) ++expanded_pages_;
  return true;
}

bool PatrolUrlSet::ExpansionCovers(const LinkRecord& referrer) const {
  const auto it = urls_.find(Key(referrer));
  return it != urls_.end() &&
         it->second.expanded[std::clamp(referrer.chain, 0, kMaxChain)] <= referrer.depth;
}

bool PatrolUrlSet::FirstLocalizing(const LinkRecord& page) {
  NameHash key = Key(page);
  if (!page.storage_name.empty()) {
    // Stored under another URL's name: another file to localise, with an entry of its own.
    key_.append(1, '\0').append(page.storage_name);
    key = NameHash::Of(key_);
  }
  return !std::exchange(urls_[key].localizing, true);
}

bool PatrolUrlSet::HasFailed(const LinkRecord& record) const {
  const auto it = urls_.find(Key(record));
  return it != urls_.end() && it->second.failed;
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
