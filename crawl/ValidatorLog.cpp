#include "crawl/ValidatorLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "crawl/RecordBytes.h"
#include "platform/WholeFile.h"

namespace qlm {

namespace {

constexpr std::string_view kMagic = "QLMVALIDATORS1\n";
// The records, each followed by a checksum of its bytes: a version stored (key, time, the lengths
// of Last-Modified and ETag, then both texts) and a version moved (key, time before, time after).
// A key is the NameHash of the file's name below the mirror root; a time is in nanoseconds.
constexpr char kStoredRecord = 'S';
constexpr char kMovedRecord = 'M';
// What waits before it is written, and the room kept for it: a record takes up to 2 KiB (two
// texts of kMaxValidator bytes), so the room is never outgrown.
constexpr std::size_t kWriteChunk = 8 * 1024;
constexpr std::size_t kPendingRoom = kWriteChunk + 4 * 1024;
// A log is written anew when more of its records are superseded than hold, and at least this many.
constexpr std::size_t kMinSuperseded = 256;
// The texts read are bounded (about a million files' worth): the records past it are dropped.
constexpr std::size_t kMaxTexts = std::size_t{64} << 20;

std::int64_t Nanoseconds(FileTime time) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

}  // namespace

ValidatorLog::ValidatorLog(std::string file, std::string mirror_root)
    : file_(std::move(file)), root_(std::move(mirror_root)) {}

ValidatorLog::~ValidatorLog() {
  Flush();
  if (out_ >= 0) ::close(out_);
}

NameHash ValidatorLog::KeyOf(std::string_view file) const {
  if (file.starts_with(root_)) file.remove_prefix(root_.size());
  return NameHash::Of(file);
}

bool ValidatorLog::Open() {
  if (out_ >= 0) ::close(out_);
  out_ = -1;
  versions_.clear();
  texts_.clear();
  pending_.clear();
  pending_.reserve(kPendingRoom);
  std::string bytes;
  std::size_t whole = 0;
  std::size_t records = 0;
  if (ReadWholeFile(file_, bytes) && bytes.starts_with(kMagic)) {
    whole = kMagic.size() + Read(std::string_view(bytes).substr(kMagic.size()), records);
  }
  const std::size_t size = bytes.size();
  std::string().swap(bytes);
  if (whole == 0) {
    // No log, or none this program can read: a new one.
    out_ = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pending_.assign(kMagic);
    return out_ >= 0;
  }
  const std::size_t superseded = records - versions_.size();
  if (superseded > versions_.size() && superseded >= kMinSuperseded) {
    const ReplaceOptions options{
        .temporary = TemporaryName::kHidden, .flush = Flush::kData, .create_mode = 0644};
    if (ReplaceFileWithBytes(file_, Compacted(), options) != 0) return false;
    out_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    return out_ >= 0;
  }
  // What follows the last whole record (one cut off in its write) goes, so that the records to
  // come follow a whole one.
  out_ = ::open(file_.c_str(), O_WRONLY | O_CLOEXEC);
  if (out_ >= 0 && ((whole < size && ::ftruncate(out_, static_cast<off_t>(whole)) != 0) ||
                    ::lseek(out_, 0, SEEK_END) < 0)) {
    ::close(out_);
    out_ = -1;
  }
  return out_ >= 0;
}

std::size_t ValidatorLog::Read(std::string_view bytes, std::size_t& records) {
  RecordReader in(bytes);
  std::size_t whole = 0;
  while (!in.AtEnd()) {
    const char* begin = in.At();
    char record = 0;
    NameHash key;
    if (!in.Take(record) || !in.Take(key)) break;
    if (record == kStoredRecord) {
      std::int64_t written = 0;
      std::uint16_t last_modified = 0;
      std::uint16_t etag = 0;
      std::string_view texts;
      if (!in.Take(written) || !in.Take(last_modified) || !in.Take(etag) ||
          !in.Take(texts, std::size_t{last_modified} + etag) || !in.CheckRecord(begin) ||
          texts_.size() + texts.size() > kMaxTexts) {
        break;
      }
      versions_[key] = {written, static_cast<std::uint32_t>(texts_.size()), last_modified, etag};
      texts_.append(texts);
    } else if (record == kMovedRecord) {
      std::int64_t from = 0;
      std::int64_t to = 0;
      if (!in.Take(from) || !in.Take(to) || !in.CheckRecord(begin)) break;
      const auto it = versions_.find(key);
      if (it != versions_.end() && it->second.written == from) it->second.written = to;
    } else {
      break;
    }
    ++records;
    whole = static_cast<std::size_t>(in.At() - bytes.data());
  }
  return whole;
}

std::string ValidatorLog::Compacted() {
  std::string out(kMagic);
  std::string texts;
  for (auto& [key, version] : versions_) {
    const std::string_view both = std::string_view(texts_).substr(
        version.at, std::size_t{version.last_modified} + version.etag);
    AppendStored(out, key, version.written, both.substr(0, version.last_modified),
                 both.substr(version.last_modified));
    version.at = static_cast<std::uint32_t>(texts.size());
    texts.append(both);
  }
  texts_ = std::move(texts);
  return out;
}

void ValidatorLog::AppendStored(std::string& out, const NameHash& key, std::int64_t written,
                                std::string_view last_modified, std::string_view etag) const {
  const std::size_t from = out.size();
  AppendRecordBytes(out, kStoredRecord);
  AppendRecordBytes(out, key);
  AppendRecordBytes(out, written);
  AppendRecordBytes(out, static_cast<std::uint16_t>(last_modified.size()));
  AppendRecordBytes(out, static_cast<std::uint16_t>(etag.size()));
  out.append(last_modified).append(etag);
  EndRecord(out, from);
}

Validators ValidatorLog::Find(std::string_view file, FileTime written) const {
  const auto it = versions_.find(KeyOf(file));
  if (it == versions_.end() || it->second.written != Nanoseconds(written)) return {};
  const Version& version = it->second;
  const std::string_view both = std::string_view(texts_).substr(version.at);
  return {std::string(both.substr(0, version.last_modified)),
          std::string(both.substr(version.last_modified, version.etag))};
}

void ValidatorLog::Stored(std::string_view file, FileTime written, const Validators& validators) {
  // Without validators nothing is kept: a record of an earlier version does not match this one.
  if (out_ < 0 || validators.Empty() || validators.last_modified.size() > 0xffff ||
      validators.etag.size() > 0xffff) {
    return;
  }
  AppendStored(pending_, KeyOf(file), Nanoseconds(written), validators.last_modified,
               validators.etag);
  Wrote();
}

void ValidatorLog::Moved(std::string_view file, FileTime from, FileTime to) {
  const NameHash key = KeyOf(file);
  const std::int64_t before = Nanoseconds(from);
  const std::int64_t after = Nanoseconds(to);
  if (before == after) return;
  if (const auto it = versions_.find(key); it != versions_.end() && it->second.written == before) {
    it->second.written = after;
  }
  if (out_ < 0) return;
  const std::size_t start = pending_.size();
  AppendRecordBytes(pending_, kMovedRecord);
  AppendRecordBytes(pending_, key);
  AppendRecordBytes(pending_, before);
  AppendRecordBytes(pending_, after);
  EndRecord(pending_, start);
  Wrote();
}

void ValidatorLog::Wrote() {
  if (pending_.size() >= kWriteChunk) Flush();
}

void ValidatorLog::Flush() {
  if (out_ >= 0 && !pending_.empty() && WriteAll(out_, pending_) != 0) {
    // A record cut off in the write is dropped when the log is read next.
    ::close(out_);
    out_ = -1;
  }
  pending_.clear();
}

}  // namespace qlm
