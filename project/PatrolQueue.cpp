#include "project/PatrolQueue.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace qlm {

namespace {

constexpr uint32_t kPrevField = 0;
constexpr uint32_t kNextField = 4;
constexpr uint32_t kNodeHeader = 12;  // previous, next, data length

void PutWord(unsigned char* at, uint32_t word) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(word >> (8 * i));
}

uint32_t GetWord(const unsigned char* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

PatrolQueue::PatrolQueue(int32_t version) : version_(version) {
  ResetHeader(static_cast<uint32_t>(version));
}

PatrolQueue::~PatrolQueue() {
  Close();
}

void PatrolQueue::ResetHeader(uint32_t version) {
  header_ = {kHeaderSize, kHeaderSize, version, 12, 20, 12, 20, 28, 36, 28, 36};
}

bool PatrolQueue::Fail(int error) {
  error_ = error;
  // After a failed write the file may hold less than this object believes; reopening repairs and
  // revalidates it, so the object stops here rather than build on a guess.
  if (error == kErrIo) Close();
  return false;
}

bool PatrolQueue::CheckOpen() {
  if (fd_ < 0) {
    error_ = kErrNotOpen;
    return false;
  }
  error_ = 0;
  return true;
}

bool PatrolQueue::CheckWritable() {
  if (!CheckOpen()) return false;
  if (read_only_) {
    error_ = kErrReadOnly;
    return false;
  }
  return true;
}

void PatrolQueue::Close() {
  UnmapFile();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  count_ = {};
  DropWindow();
}

void PatrolQueue::MapFile(uint64_t size) {
  UnmapFile();
  // After a simulated kill the file stops growing while the object goes on as if it did.
  if (writes_left_ == 0) return;
  // Room to grow: twice the file, at least a mebibyte, as node offsets are 32-bit at most 4 GiB.
  const uint64_t want =
      std::min<uint64_t>(std::max<uint64_t>(2 * size, uint64_t{1} << 20), uint64_t{UINT32_MAX} + 1);
  void* at = ::mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (at == MAP_FAILED) return;  // the object writes and reads with system calls instead
  map_ = static_cast<unsigned char*>(at);
  map_size_ = want;
}

void PatrolQueue::TouchedMap() {
  if (++map_touches_ < kMapTouches) return;
  map_touches_ = 0;
  ::madvise(map_, map_size_, MADV_DONTNEED);
}

void PatrolQueue::UnmapFile() {
  if (map_) ::munmap(map_, map_size_);
  map_ = nullptr;
  map_size_ = 0;
}

bool PatrolQueue::WriteAt(uint64_t offset, const void* data, std::size_t size) {
  if (writes_left_ == 0) return true;
  if (writes_left_ != SIZE_MAX) --writes_left_;
  const auto* bytes = static_cast<const unsigned char*>(data);
  // The window takes the bytes only once they are in the file: after a failed write the object
  // closes the file anyway.
  const uint64_t window_end = window_at_ + window_.size();
  const uint64_t from = std::max(offset, window_at_);
  const uint64_t to = std::min(offset + size, window_end);
  uint64_t at = offset;
  std::size_t left = size;
  const unsigned char* next = bytes;
  if (map_ && offset + size <= end_ && !InMap(offset, size)) MapFile(end_);
  if (InMap(offset, size)) {
    std::memcpy(map_ + offset, bytes, size);
    TouchedMap();
    left = 0;
  }
  if (writes_left_ == 0) UnmapFile();
  while (left > 0) {
    const ssize_t n = ::pwrite(fd_, next, left, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    next += n;
    at += static_cast<uint64_t>(n);
    left -= static_cast<std::size_t>(n);
  }
  if (from < to) {
    std::memcpy(window_.data() + (from - window_at_), bytes + (from - offset), to - from);
  }
  // Bytes appended right behind the window join it while it has room: a short queue is read
  // soon after it was written.
  if (!window_.empty() && offset + size > window_end && offset <= window_end &&
      offset + size - window_at_ <= kWindowSize) {
    window_.insert(window_.end(), bytes + (window_end - offset), bytes + size);
  }
  return true;
}

namespace {

// Reads up to `size` bytes; fewer only where the file ends. The count read, or -1.
ssize_t PreadUpTo(int fd, uint64_t offset, unsigned char* bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

bool PatrolQueue::ReadAt(uint64_t offset, void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  if (InMap(offset, size)) {
    std::memcpy(bytes, map_ + offset, size);
    TouchedMap();
    return true;
  }
  if (size > kWindowSize) return PreadUpTo(fd_, offset, bytes, size) == static_cast<ssize_t>(size);
  if (offset < window_at_ || offset + size > window_at_ + window_.size()) {
    window_.resize(kWindowSize);
    window_at_ = offset;
    const ssize_t n = PreadUpTo(fd_, offset, window_.data(), window_.size());
    window_.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    if (window_.size() < size) return false;
  }
  std::memcpy(bytes, window_.data() + (offset - window_at_), size);
  return true;
}

bool PatrolQueue::WriteHeader() {
  unsigned char bytes[kHeaderSize];
  for (std::size_t i = 0; i < header_.size(); ++i) PutWord(bytes + 4 * i, header_[i]);
  return WriteAt(0, bytes, sizeof bytes);
}

bool PatrolQueue::ReadLinks(uint32_t node, Links& links) {
  if (IsSentinel(node)) {
    links = {header_[node / 4], header_[node / 4 + 1]};
    return true;
  }
  unsigned char bytes[8];
  if (!ReadAt(node, bytes, sizeof bytes)) return false;
  links = {GetWord(bytes), GetWord(bytes + 4)};
  return true;
}

bool PatrolQueue::ReadNode(uint32_t node, Links& links, std::string* data) {
  unsigned char bytes[kNodeHeader];
  if (node < kHeaderSize || node + uint64_t{kNodeHeader} > end_) return Fail(kErrDamaged);
  if (!ReadAt(node, bytes, sizeof bytes)) return Fail(kErrIo);
  links = {GetWord(bytes), GetWord(bytes + 4)};
  const uint32_t length = GetWord(bytes + 8);
  if (length > end_ - node - kNodeHeader) return Fail(kErrDamaged);
  if (data) {
    data->resize(length);
    if (length > 0 && !ReadAt(node + kNodeHeader, data->data(), length)) return Fail(kErrIo);
  }
  return true;
}

bool PatrolQueue::SetNodeWord(uint32_t node, uint32_t field_offset, uint32_t value) {
  if (IsSentinel(node)) {
    header_[(node + field_offset) / 4] = value;
    return true;
  }
  unsigned char bytes[4];
  PutWord(bytes, value);
  return WriteAt(node + field_offset, bytes, sizeof bytes);
}

bool PatrolQueue::Open(const std::string& path) {
  return OpenFile(path, false);
}

bool PatrolQueue::OpenForReading(const std::string& path) {
  return OpenFile(path, true);
}

bool PatrolQueue::OpenFile(const std::string& path, bool read_only) {
  Close();
  path_ = path;
  error_ = 0;
  skipped_ = 0;
  read_only_ = read_only;
  ResetHeader(static_cast<uint32_t>(version_));
  fd_ = ::open(path.c_str(), read_only ? O_RDONLY | O_CLOEXEC : O_RDWR | O_CLOEXEC);
  if (fd_ < 0 && errno == ENOENT && !read_only) {
    if (!CreateEmpty(path)) return Fail(kErrOpen);
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  }
  if (fd_ < 0) return Fail(kErrOpen);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    Close();
    return Fail(kErrOpen);
  }
  end_ = static_cast<uint64_t>(st.st_size);
  // A new file comes into place with its header (CreateEmpty), so one without it, even with no
  // bytes at all, lost its records: Validate refuses it.
  if (!Validate()) {
    Close();
    return false;
  }
  if (!read_only) MapFile(end_);
  return true;
}

bool PatrolQueue::CreateEmpty(const std::string& path) {
  // The header is written to a file of its own and renamed into place: a kill in between leaves
  // no file without one.
  const std::string fresh = path + ".new";
  fd_ = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return false;
  end_ = kHeaderSize;
  const bool written = WriteHeader() && ::fsync(fd_) == 0;
  ::close(fd_);
  fd_ = -1;
  if (!written || ::rename(fresh.c_str(), path.c_str()) != 0) {
    ::unlink(fresh.c_str());
    return false;
  }
  return true;
}

bool PatrolQueue::Refresh() {
  if (!CheckOpen()) return false;
  DropWindow();
  struct stat by_fd {};
  struct stat by_path {};
  const bool same_file = ::fstat(fd_, &by_fd) == 0 && ::stat(path_.c_str(), &by_path) == 0 &&
                         by_fd.st_dev == by_path.st_dev && by_fd.st_ino == by_path.st_ino;
  if (same_file && static_cast<uint64_t>(by_fd.st_size) == end_ && end_ >= kHeaderSize) {
    unsigned char bytes[kHeaderSize];
    if (!ReadAt(0, bytes, sizeof bytes)) return Fail(kErrIo);
    bool unchanged = true;
    for (std::size_t i = 0; i < header_.size(); ++i) {
      if (GetWord(bytes + 4 * i) != header_[i]) unchanged = false;
    }
    if (unchanged) return true;
  }
  // Another program changed (or replaced) the file since this object last looked.
  const std::string path = path_;
  return OpenFile(path, read_only_);
}

bool PatrolQueue::Validate() {
  // Node offsets are 32-bit: a longer file cannot be one of ours.
  if (end_ < kHeaderSize || end_ > UINT32_MAX) return Fail(kErrDamaged);
  unsigned char bytes[kHeaderSize];
  if (!ReadAt(0, bytes, sizeof bytes)) return Fail(kErrIo);
  for (std::size_t i = 0; i < header_.size(); ++i) header_[i] = GetWord(bytes + 4 * i);
  if (header_[3] != 12 || header_[6] != 20 || header_[7] != 28 || header_[10] != 36) {
    return Fail(kErrDamaged);
  }
  // Walk both chains by their next links before changing anything; previous links that a cut-off
  // update left behind are collected and mended afterwards.
  std::vector<std::pair<uint32_t, uint32_t>> mend;  // (node, previous link it must hold)
  bool header_mended = false;
  const uint64_t max_nodes = (end_ - kHeaderSize) / kNodeHeader;
  for (Chain chain : {Chain::kMain, Chain::kHeld}) {
    uint32_t last = Head(chain);
    uint32_t node = header_[Head(chain) / 4 + 1];
    std::size_t count = 0;
    while (node != Tail(chain)) {
      Links links;
      if (++count > max_nodes || !ReadNode(node, links, nullptr)) return Fail(kErrDamaged);
      if (links.prev != last) mend.emplace_back(node, last);
      last = node;
      node = links.next;
    }
    if (header_[Tail(chain) / 4] != last) {
      header_[Tail(chain) / 4] = last;
      header_mended = true;
    }
    count_[Index(chain)] = count;
  }
  if (read_only_) return true;
  for (const auto& [node, prev] : mend) {
    if (!SetNodeWord(node, kPrevField, prev)) return Fail(kErrIo);
  }
  if (header_mended && !WriteHeader()) return Fail(kErrIo);
  // Nodes written by an append that was cut off before it linked them are dropped here when
  // nothing else is left.
  return CutBackIfEmpty();
}

namespace {

// Appends a node as it is written to the file: previous link, next link, length, data.
void AppendNodeBytes(std::string& bytes, uint32_t prev, uint32_t next, std::string_view data) {
  unsigned char head[kNodeHeader];
  PutWord(head, prev);
  PutWord(head + 4, next);
  PutWord(head + 8, static_cast<uint32_t>(data.size()));
  bytes.append(reinterpret_cast<const char*>(head), sizeof head);
  bytes.append(data);
}

}  // namespace

bool PatrolQueue::WriteNode(const Links& links, std::string_view data, uint32_t& node) {
  const uint64_t size = kNodeHeader + uint64_t{data.size()};
  if (end_ + size > UINT32_MAX) return Fail(kErrIo);
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  AppendNodeBytes(bytes, links.prev, links.next, data);
  node = static_cast<uint32_t>(end_);
  if (!WriteAt(node, bytes.data(), bytes.size())) return Fail(kErrIo);
  end_ += size;
  header_[0] = header_[1] = static_cast<uint32_t>(end_);
  return true;
}

bool PatrolQueue::LinkBetween(uint32_t prev, uint32_t next, std::string_view data, Chain chain,
                              NodeId* node_out) {
  uint32_t node = 0;
  if (!WriteNode({prev, next}, data, node)) return false;
  // The next link of `prev` is the commit; the previous link of `next` follows it.
  if (IsSentinel(prev)) {
    SetNodeWord(prev, kNextField, node);
    if (IsSentinel(next)) SetNodeWord(next, kPrevField, node);
    if (!WriteHeader()) return Fail(kErrIo);
    if (!IsSentinel(next) && !SetNodeWord(next, kPrevField, node)) return Fail(kErrIo);
  } else {
    if (!SetNodeWord(prev, kNextField, node)) return Fail(kErrIo);
    if (!SetNodeWord(next, kPrevField, node)) return Fail(kErrIo);
    if (!WriteHeader()) return Fail(kErrIo);
  }
  ++count_[Index(chain)];
  if (node_out) *node_out = node;
  return true;
}

bool PatrolQueue::Unlink(const Links& links, Chain chain) {
  const uint32_t prev = links.prev;
  const uint32_t next = links.next;
  if (IsSentinel(prev)) {
    SetNodeWord(prev, kNextField, next);
    if (IsSentinel(next)) SetNodeWord(next, kPrevField, prev);
    if (!WriteHeader()) return Fail(kErrIo);
    if (!IsSentinel(next) && !SetNodeWord(next, kPrevField, prev)) return Fail(kErrIo);
  } else {
    if (!SetNodeWord(prev, kNextField, next)) return Fail(kErrIo);
    if (!SetNodeWord(next, kPrevField, prev)) return Fail(kErrIo);
    if (IsSentinel(next) && !WriteHeader()) return Fail(kErrIo);
  }
  --count_[Index(chain)];
  return CutBackIfEmpty();
}

bool PatrolQueue::CutBackIfEmpty() {
  if (!IsEmpty(Chain::kMain) || !IsEmpty(Chain::kHeld) || end_ == kHeaderSize) return true;
  // The header goes first: a file cut off before the truncation only carries dead bytes. The
  // version stays that of the file.
  ResetHeader(header_[2]);
  end_ = kHeaderSize;
  DropWindow();
  if (!WriteHeader()) return Fail(kErrIo);
  if (writes_left_ == 0) return true;
  if (writes_left_ != SIZE_MAX) --writes_left_;
  if (::ftruncate(fd_, kHeaderSize) != 0) return Fail(kErrIo);
  return true;
}

bool PatrolQueue::IsEmpty(Chain chain) const {
  return header_[Head(chain) / 4 + 1] == Tail(chain);
}

bool PatrolQueue::Append(std::string_view data, Chain chain, NodeId* node) {
  if (!CheckWritable()) return false;
  return LinkBetween(header_[Tail(chain) / 4], Tail(chain), data, chain, node);
}

bool PatrolQueue::AppendAll(const std::vector<std::string>& records, Chain chain) {
  if (!CheckWritable()) return false;
  if (records.empty()) return true;
  // The nodes lie back to back from the end of the file, each linked to its neighbours already.
  std::vector<uint32_t> offsets;
  offsets.reserve(records.size());
  uint64_t at = end_;
  for (const std::string& data : records) {
    if (at + kNodeHeader + uint64_t{data.size()} > UINT32_MAX) return Fail(kErrIo);
    offsets.push_back(static_cast<uint32_t>(at));
    at += kNodeHeader + data.size();
  }
  const uint32_t last = header_[Tail(chain) / 4];
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(at - end_));
  for (std::size_t i = 0; i < records.size(); ++i) {
    AppendNodeBytes(bytes, i == 0 ? last : offsets[i - 1],
                    i + 1 < records.size() ? offsets[i + 1] : Tail(chain), records[i]);
  }
  if (!WriteAt(end_, bytes.data(), bytes.size())) return Fail(kErrIo);
  end_ = at;
  header_[0] = header_[1] = static_cast<uint32_t>(end_);
  // The next link of the chain's last node (or of its head) is the commit.
  header_[Tail(chain) / 4] = offsets.back();
  if (!SetNodeWord(last, kNextField, offsets.front()) || !WriteHeader()) return Fail(kErrIo);
  count_[Index(chain)] += records.size();
  return true;
}

bool PatrolQueue::PeekFront(std::string& data, NodeId& node, Chain chain) {
  if (!CheckOpen() || IsEmpty(chain)) return false;
  node = header_[Head(chain) / 4 + 1];
  Links links;
  return ReadNode(node, links, &data);
}

bool PatrolQueue::PeekAfter(NodeId after, std::string& data, NodeId& node, Chain chain) {
  if (!CheckOpen() || IsSentinel(after)) return false;
  Links links;
  if (!ReadNode(after, links, nullptr)) return false;
  if (links.next == Tail(chain)) return false;
  if (IsSentinel(links.next)) return Fail(kErrDamaged);
  node = links.next;
  return ReadNode(node, links, &data);
}

bool PatrolQueue::InsertFront(std::string_view data, Chain chain, NodeId* node) {
  if (!CheckWritable()) return false;
  return LinkBetween(Head(chain), header_[Head(chain) / 4 + 1], data, chain, node);
}

bool PatrolQueue::PopFront(std::string& data, Chain chain) {
  if (!CheckWritable() || IsEmpty(chain)) return false;
  const uint32_t node = header_[Head(chain) / 4 + 1];
  Links links;
  if (!ReadNode(node, links, &data)) return false;
  return Unlink({Head(chain), links.next}, chain);
}

bool PatrolQueue::PopBack(std::string& data, Chain chain) {
  if (!CheckWritable() || IsEmpty(chain)) return false;
  const uint32_t node = header_[Tail(chain) / 4];
  Links links;
  if (!ReadNode(node, links, &data)) return false;
  return Unlink({links.prev, Tail(chain)}, chain);
}

bool PatrolQueue::Remove(NodeId node, Chain chain) {
  if (!CheckWritable()) return false;
  Links links;
  if (!ReadNode(node, links, nullptr)) return false;
  return Unlink(links, chain);
}

bool PatrolQueue::RemoveAll(std::vector<NodeId> nodes, Chain chain) {
  if (!CheckWritable()) return false;
  if (nodes.empty()) return true;
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  const auto listed = [&nodes](uint32_t node) {
    return std::binary_search(nodes.begin(), nodes.end(), node);
  };
  std::size_t left = nodes.size();
  bool tail_moved = false;  // the tail sentinel's previous link waits for the last header write
  uint32_t kept = Head(chain);
  uint32_t node = header_[Head(chain) / 4 + 1];
  std::size_t steps = 0;
  const std::size_t max_steps = (end_ - kHeaderSize) / kNodeHeader + 1;
  while (left > 0 && node != Tail(chain)) {
    Links links;
    // A run of listed nodes after `kept`: found by their next links, then unlinked at once.
    uint32_t after = node;
    std::size_t run = 0;
    while (after != Tail(chain) && listed(after)) {
      if (++steps > max_steps) return Fail(kErrDamaged);
      if (!ReadNode(after, links, nullptr)) return false;
      after = links.next;
      ++run;
    }
    if (run > 0) {
      // The next link of the node before the run is the commit; the previous link after it.
      if (IsSentinel(kept)) {
        header_[kept / 4 + 1] = after;
        if (IsSentinel(after)) header_[after / 4] = kept;
        if (!WriteHeader()) return Fail(kErrIo);
      } else if (!SetNodeWord(kept, kNextField, after)) {
        return Fail(kErrIo);
      } else if (IsSentinel(after)) {
        header_[after / 4] = kept;
        tail_moved = true;
      }
      if (!IsSentinel(after) && !SetNodeWord(after, kPrevField, kept)) return Fail(kErrIo);
      count_[Index(chain)] -= run;
      left -= run;
    }
    if (after == Tail(chain) || left == 0) break;
    if (++steps > max_steps) return Fail(kErrDamaged);
    if (!ReadNode(after, links, nullptr)) return false;
    kept = after;
    node = links.next;
  }
  if (tail_moved && !WriteHeader()) return Fail(kErrIo);
  if (left > 0) return Fail(kErrDamaged);
  return CutBackIfEmpty();
}

bool PatrolQueue::ForEach(Chain chain, const std::function<bool(NodeId, std::string_view)>& visit) {
  if (!CheckOpen()) return false;
  std::string data;
  for (uint32_t node = header_[Head(chain) / 4 + 1]; node != Tail(chain);) {
    Links links;
    if (!ReadNode(node, links, &data)) return false;
    if (!visit(node, data)) break;
    node = links.next;
  }
  return true;
}

bool PatrolQueue::Reset() {
  if (!CheckWritable()) return false;
  header_[4] = 20;
  header_[5] = 12;
  header_[8] = 36;
  header_[9] = 28;
  count_ = {};
  if (end_ == kHeaderSize) return WriteHeader() || Fail(kErrIo);
  return CutBackIfEmpty();
}

bool PatrolQueue::HoldFront(std::string& data, NodeId& held) {
  NodeId node = 0;
  return CheckWritable() && PeekFront(data, node) && Hold(node, data, held);
}

bool PatrolQueue::Hold(NodeId node, std::string_view data, NodeId& held) {
  if (!CheckWritable()) return false;
  if (IsEmpty(Chain::kMain) || node != header_[Head(Chain::kMain) / 4 + 1]) {
    return Append(data, Chain::kHeld, &held) && Remove(node, Chain::kMain);
  }
  Links links;
  if (!ReadNode(node, links, nullptr)) return false;
  // The copy is complete, then linked into the held chain: by its last node's next link, or
  // (when the held chain is empty) by the header write below, which then moves the record in
  // one write.
  const uint32_t last = header_[Tail(Chain::kHeld) / 4];
  uint32_t copy = 0;
  if (!WriteNode({last, Tail(Chain::kHeld)}, data, copy)) return false;
  if (!SetNodeWord(last, kNextField, copy)) return Fail(kErrIo);
  header_[Tail(Chain::kHeld) / 4] = copy;
  // The header write unlinks the original; the previous link of the next node follows it.
  header_[Head(Chain::kMain) / 4 + 1] = links.next;
  if (IsSentinel(links.next)) header_[links.next / 4] = Head(Chain::kMain);
  if (!WriteHeader()) return Fail(kErrIo);
  if (!IsSentinel(links.next) && !SetNodeWord(links.next, kPrevField, Head(Chain::kMain))) {
    return Fail(kErrIo);
  }
  ++count_[Index(Chain::kHeld)];
  --count_[Index(Chain::kMain)];
  held = copy;
  return true;
}

bool PatrolQueue::RestoreHeld(const std::function<std::string(std::string_view)>& rewrite) {
  if (!CheckWritable()) return false;
  std::string data;
  while (!IsEmpty(Chain::kHeld)) {
    // From the back, each to the front: the held records end up in front in their own order.
    const uint32_t node = header_[Tail(Chain::kHeld) / 4];
    Links links;
    if (!ReadNode(node, links, &data)) return false;
    if (rewrite) data = rewrite(data);
    if (!InsertFront(std::string_view(data), Chain::kMain)) return false;
    if (!Unlink({links.prev, Tail(Chain::kHeld)}, Chain::kHeld)) return false;
  }
  return true;
}

}  // namespace qlm
