#include "crawl/StoredLinkCache.h"

#include <fcntl.h>
#include <unistd.h>

#include <functional>

#include "crawl/RecordBytes.h"
#include "platform/WholeFile.h"

namespace qlm {

namespace {

constexpr std::string_view kMagic = "QLMLINKS3\n";
// The file's records: a page's entry (key, bytes, link count, then each link's kind, length and
// URL), a rewrite (key, bytes before, bytes after) and a localization (key, bytes, token,
// LocalizeLink), each followed by a checksum of its bytes.
// The URLs are written out in every entry, so that writing the file needs no memory of what was
// written.
constexpr char kEntryRecord = 'E';
constexpr char kRewriteRecord = 'R';
constexpr char kLocalizedRecord = 'L';
// What the new file gathers before it is written.
constexpr std::size_t kWriteChunk = 64 * 1024;

std::string NewFileOf(const std::string& file) {
  return file + ".new";
}

}  // namespace

// ---- URL numbers ----

std::size_t StoredLinkCache::UrlNumbers::Hash::operator()(std::string_view url) const {
  return std::hash<std::string_view>{}(url);
}

std::string_view StoredLinkCache::UrlNumbers::Url(std::uint32_t n) const {
  const std::uint32_t begin = n == 0 ? 0 : ends_[n - 1];
  return std::string_view(text_).substr(begin, ends_[n] - begin);
}

std::uint32_t StoredLinkCache::UrlNumbers::Number(std::string_view url) {
  if (const auto it = set_.find(url); it != set_.end()) return *it;
  if (text_.size() + url.size() > kMaxUrlBytes || ends_.size() >= kFull) return kFull;
  text_.append(url);
  ends_.push_back(static_cast<std::uint32_t>(text_.size()));
  const auto n = static_cast<std::uint32_t>(ends_.size() - 1);
  set_.insert(n);
  return n;
}

void StoredLinkCache::UrlNumbers::Clear() {
  set_.clear();
  text_.clear();
  ends_.clear();
}

// ---- The cache ----

StoredLinkCache::StoredLinkCache(std::string file) : file_(std::move(file)) {}

StoredLinkCache::~StoredLinkCache() {
  if (out_ >= 0) {
    ::close(out_);
    ::unlink(NewFileOf(file_).c_str());
  }
}

NameHash StoredLinkCache::KeyOf(std::string_view url, std::string_view folder_path) {
  std::string key(url);
  key.append(1, '\n').append(folder_path);
  return NameHash::Of(key);
}

void StoredLinkCache::Clear() {
  read_urls_.Clear();
  links_.clear();
  entries_.clear();
  localized_.clear();
}

bool StoredLinkCache::Load() {
  Clear();
  std::string bytes;
  const bool read = ReadWholeFile(file_, bytes) && Read(bytes);
  if (!read) Clear();
  out_ = ::open(NewFileOf(file_).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  out_failed_ = out_ < 0;
  pending_.assign(kMagic);
  return read;
}

bool StoredLinkCache::Read(std::string_view bytes) {
  if (!bytes.starts_with(kMagic)) return false;
  RecordReader in(bytes.substr(kMagic.size()));
  while (!in.AtEnd()) {
    const char* begin = in.At();
    char record = 0;
    if (!in.Take(record)) return false;
    if (record == kEntryRecord) {
      NameHash key;
      Entry entry;
      if (!in.Take(key) || !in.Take(entry.bytes) || !in.Take(entry.count)) return false;
      if (links_.size() + entry.count > kMaxLinks) return false;
      entry.first = static_cast<std::uint32_t>(links_.size());
      for (std::uint32_t k = 0; k < entry.count; ++k) {
        std::uint8_t kind = 0;
        std::uint32_t length = 0;
        std::string_view url;
        if (!in.Take(kind) || !in.Take(length) || !in.Take(url, length)) return false;
        const std::uint32_t n = read_urls_.Number(url);
        if (n == UrlNumbers::kFull) return false;
        links_.push_back(static_cast<std::uint32_t>(kind) << kKindShift | n);
      }
      if (!in.CheckRecord(begin)) return false;
      entries_.insert_or_assign(key, entry);
      if (entries_.size() > kMaxEntries) return false;
    } else if (record == kRewriteRecord) {
      NameHash key;
      StoredBytes before, after;
      if (!in.Take(key) || !in.Take(before) || !in.Take(after) || !in.CheckRecord(begin)) {
        return false;
      }
      const auto it = entries_.find(key);
      if (it != entries_.end() && it->second.bytes == before) it->second.bytes = after;
    } else if (record == kLocalizedRecord) {
      NameHash key;
      Localization localization;
      if (!in.Take(key) || !in.Take(localization.bytes) || !in.Take(localization.token) ||
          !in.Take(localization.localize_link) || !in.CheckRecord(begin)) {
        return false;
      }
      localized_.insert_or_assign(key, localization);
      if (localized_.size() > kMaxEntries) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool StoredLinkCache::Find(const NameHash& key, const StoredBytes& bytes,
                           std::vector<PageLink>& links) {
  const auto it = entries_.find(key);
  if (it == entries_.end() || it->second.bytes != bytes) return false;
  Entry& entry = it->second;
  links.clear();
  links.reserve(entry.count);
  for (std::uint32_t k = 0; k < entry.count; ++k) {
    const std::uint32_t link = links_[entry.first + k];
    links.emplace_back(static_cast<int>(link >> kKindShift),
                       std::string(read_urls_.Url(link & UrlNumbers::kFull)));
  }
  if (!entry.written) Write(key, bytes, links);
  entry.written = true;
  return true;
}

void StoredLinkCache::Put(const NameHash& key, const StoredBytes& bytes,
                          const std::vector<PageLink>& links) {
  if (const auto it = entries_.find(key); it != entries_.end()) it->second.written = true;
  Write(key, bytes, links);
}

void StoredLinkCache::Write(const NameHash& key, const StoredBytes& bytes,
                            const std::vector<PageLink>& links) {
  if (out_failed_) return;
  // A page with a link the cache cannot hold (a kind that does not fit, a URL stored under
  // another name than it was read as) is left out.
  for (const PageLink& link : links) {
    if (link.kind < 0 || link.kind > 0xff || !link.storage_name.empty()) return;
  }
  // The record goes out in parts; its checksum is carried on over each part before it goes.
  std::uint64_t sum = kChecksumStart;
  std::size_t from = pending_.size();
  AppendRecordBytes(pending_, kEntryRecord);
  AppendRecordBytes(pending_, key);
  AppendRecordBytes(pending_, bytes);
  AppendRecordBytes(pending_, static_cast<std::uint32_t>(links.size()));
  for (const PageLink& link : links) {
    AppendRecordBytes(pending_, static_cast<std::uint8_t>(link.kind));
    AppendRecordBytes(pending_, static_cast<std::uint32_t>(link.url.size()));
    pending_.append(link.url);
    if (pending_.size() >= kWriteChunk) {
      sum = Checksum(sum, std::string_view(pending_).substr(from));
      from = 0;
      Flush();
    }
  }
  AppendRecordBytes(pending_, Checksum(sum, std::string_view(pending_).substr(from)));
}

void StoredLinkCache::Rewritten(const NameHash& key, const StoredBytes& before,
                                const StoredBytes& after) {
  if (before == after || out_failed_) return;
  const std::size_t from = pending_.size();
  AppendRecordBytes(pending_, kRewriteRecord);
  AppendRecordBytes(pending_, key);
  AppendRecordBytes(pending_, before);
  AppendRecordBytes(pending_, after);
  EndRecord(pending_, from);
  if (pending_.size() >= kWriteChunk) Flush();
}

void StoredLinkCache::Flush() {
  if (out_failed_ || pending_.empty()) return;
  if (WriteAll(out_, pending_) != 0) out_failed_ = true;
  pending_.clear();
}

std::optional<StoredBytes> StoredLinkCache::LocalizedAs(const NameHash& key, std::uint64_t token,
                                                         int localize_link) const {
  const auto it = localized_.find(key);
  if (it == localized_.end() || it->second.token != token ||
      it->second.localize_link != localize_link) {
    return std::nullopt;
  }
  return it->second.bytes;
}

void StoredLinkCache::Localized(const NameHash& key, const StoredBytes& bytes,
                                std::uint64_t token, int localize_link) {
  if (const auto it = localized_.find(key); it != localized_.end()) it->second.written = true;
  WriteLocalization(key, {bytes, token, localize_link});
}

void StoredLinkCache::WriteLocalization(const NameHash& key, const Localization& localization) {
  if (out_failed_) return;
  const std::size_t from = pending_.size();
  AppendRecordBytes(pending_, kLocalizedRecord);
  AppendRecordBytes(pending_, key);
  AppendRecordBytes(pending_, localization.bytes);
  AppendRecordBytes(pending_, localization.token);
  AppendRecordBytes(pending_, localization.localize_link);
  EndRecord(pending_, from);
  if (pending_.size() >= kWriteChunk) Flush();
}

bool StoredLinkCache::Save(bool used_only) {
  if (!used_only) {
    std::vector<PageLink> links;
    for (auto& [key, entry] : entries_) {
      if (!entry.written) Find(key, entry.bytes, links);
    }
    for (auto& [key, localization] : localized_) {
      if (!localization.written) WriteLocalization(key, localization);
      localization.written = true;
    }
  }
  Flush();
  const std::string fresh = NewFileOf(file_);
  bool ok = !out_failed_;
  if (out_ >= 0) ok = ::close(out_) == 0 && ok;
  out_ = -1;
  out_failed_ = true;
  if (ok) ok = ::rename(fresh.c_str(), file_.c_str()) == 0;
  if (!ok) ::unlink(fresh.c_str());
  return ok;
}

}  // namespace qlm
