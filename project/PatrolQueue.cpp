#include "project/PatrolQueue.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/WholeFile.h"
#include "project/QueueFile.h"

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

PatrolQueue::PatrolQueue(int32_t version) : PatrolQueue(version, std::make_unique<QueueFile>()) {}

PatrolQueue::PatrolQueue(int32_t version, std::unique_ptr<QueueStore> store)
    : version_(version), store_(std::move(store)) {
  ResetHeader(static_cast<uint32_t>(version));
}

PatrolQueue::~PatrolQueue() {
  Close();
}

PatrolQueue::Header PatrolQueue::EmptyHeader(uint32_t version) {
  Header header;
  header.version = version;
  for (Chain chain : {Chain::kMain, Chain::kHeld}) {
    header.chains[Index(chain)] = {{Head(chain), Tail(chain)}, {Head(chain), Tail(chain)}};
  }
  return header;
}

void PatrolQueue::EncodeHeader(const Header& header, unsigned char* bytes) {
  for (uint32_t word : {header.end, header.end_again, header.version}) {
    PutWord(bytes, word);
    bytes += kWordSize;
  }
  for (const Sentinels& chain : header.chains) {
    for (uint32_t word : {chain.head.prev, chain.head.next, chain.tail.prev, chain.tail.next}) {
      PutWord(bytes, word);
      bytes += kWordSize;
    }
  }
}

PatrolQueue::Header PatrolQueue::DecodeHeader(const unsigned char* bytes) {
  auto next = [&bytes] {
    const uint32_t word = GetWord(bytes);
    bytes += kWordSize;
    return word;
  };
  Header header;
  header.end = next();
  header.end_again = next();
  header.version = next();
  for (Sentinels& chain : header.chains) {
    for (uint32_t* word :
         {&chain.head.prev, &chain.head.next, &chain.tail.prev, &chain.tail.next}) {
      *word = next();
    }
  }
  return header;
}

PatrolQueue::Links& PatrolQueue::Sentinel(uint32_t offset) {
  Sentinels& chain = header_.chains[(offset - kFirstSentinel) / (2 * kSentinelSize)];
  return (offset - kFirstSentinel) % (2 * kSentinelSize) == 0 ? chain.head : chain.tail;
}

void PatrolQueue::ResetHeader(uint32_t version) {
  header_ = EmptyHeader(version);
}

bool PatrolQueue::Fail(int error) {
  error_ = error;
  // After a failed write the file may hold less than this object believes; reopening repairs and
  // revalidates it, so the object stops here rather than build on a guess.
  if (error == kErrIo) Close();
  return false;
}

bool PatrolQueue::CheckOpen() {
  if (!IsOpen()) {
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
  store_->Close();
  count_ = {};
}

bool PatrolQueue::WriteHeader() {
  unsigned char bytes[kHeaderSize];
  EncodeHeader(header_, bytes);
  return store_->Write(0, bytes, sizeof bytes);
}

bool PatrolQueue::ReadNode(uint32_t node, Links& links, std::string* data) {
  unsigned char bytes[kNodeHeader];
  if (node < kHeaderSize || node + uint64_t{kNodeHeader} > End()) return Fail(kErrDamaged);
  if (!store_->Read(node, bytes, sizeof bytes)) return Fail(kErrIo);
  links = {GetWord(bytes), GetWord(bytes + 4)};
  const uint32_t length = GetWord(bytes + 8);
  if (length > End() - node - kNodeHeader) return Fail(kErrDamaged);
  if (data) {
    data->resize(length);
    if (length > 0 && !store_->Read(node + kNodeHeader, data->data(), length)) {
      return Fail(kErrIo);
    }
  }
  return true;
}

bool PatrolQueue::SetNodeWord(uint32_t node, uint32_t field_offset, uint32_t value) {
  if (IsSentinel(node)) {
    Links& links = Sentinel(node);
    (field_offset == kPrevField ? links.prev : links.next) = value;
    return true;
  }
  unsigned char bytes[4];
  PutWord(bytes, value);
  return store_->Write(node + field_offset, bytes, sizeof bytes);
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
  bool open = store_->Open(path, !read_only);
  if (!open && errno == ENOENT && !read_only) {
    if (!CreateEmpty(path)) return Fail(kErrOpen);
    open = store_->Open(path, true);
  }
  if (!open) return Fail(kErrOpen);
  // A new file comes into place with its header (CreateEmpty), so one without it, even with no
  // bytes at all, lost its records: Validate refuses it.
  if (!Validate()) {
    Close();
    return false;
  }
  return true;
}

bool PatrolQueue::CreateEmpty(const std::string& path) {
  // The header comes into place whole (written beside, flushed, renamed): a kill in between
  // leaves no file without one.
  unsigned char bytes[kHeaderSize];
  EncodeHeader(header_, bytes);
  const ReplaceOptions options{
      .temporary = TemporaryName::kFixed, .suffix = ".new", .create_mode = 0644};
  return ReplaceFileWithBytes(path, {reinterpret_cast<const char*>(bytes), sizeof bytes},
                              options) == 0;
}

bool PatrolQueue::Refresh() {
  if (!CheckOpen()) return false;
  if (store_->Unchanged() && End() >= kHeaderSize) {
    unsigned char bytes[kHeaderSize];
    if (!store_->Read(0, bytes, sizeof bytes)) return Fail(kErrIo);
    if (DecodeHeader(bytes) == header_) return true;
  }
  // Another program changed (or replaced) the file since this object last looked.
  const std::string path = path_;
  return OpenFile(path, read_only_);
}

bool PatrolQueue::Validate() {
  // Node offsets are 32-bit: a longer file cannot be one of ours.
  if (End() < kHeaderSize || End() > UINT32_MAX) return Fail(kErrDamaged);
  unsigned char bytes[kHeaderSize];
  if (!store_->Read(0, bytes, sizeof bytes)) return Fail(kErrIo);
  header_ = DecodeHeader(bytes);
  for (Chain chain : {Chain::kMain, Chain::kHeld}) {
    const Sentinels& ends = header_.chains[Index(chain)];
    if (ends.head.prev != Head(chain) || ends.tail.next != Tail(chain)) return Fail(kErrDamaged);
  }
  // Walk both chains by their next links before changing anything; previous links that a cut-off
  // update left behind are collected and mended afterwards.
  std::vector<std::pair<uint32_t, uint32_t>> mend;  // (node, previous link it must hold)
  bool header_mended = false;
  const uint64_t max_nodes = (End() - kHeaderSize) / kNodeHeader;
  for (Chain chain : {Chain::kMain, Chain::kHeld}) {
    uint32_t last = Head(chain);
    uint32_t node = First(chain);
    std::size_t count = 0;
    while (node != Tail(chain)) {
      Links links;
      if (++count > max_nodes || !ReadNode(node, links, nullptr)) return Fail(kErrDamaged);
      if (links.prev != last) mend.emplace_back(node, last);
      last = node;
      node = links.next;
    }
    if (Last(chain) != last) {
      Sentinel(Tail(chain)).prev = last;
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
  if (End() + size > UINT32_MAX) return Fail(kErrIo);
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  AppendNodeBytes(bytes, links.prev, links.next, data);
  node = static_cast<uint32_t>(End());
  if (!store_->Write(node, bytes.data(), bytes.size())) return Fail(kErrIo);
  header_.end = header_.end_again = static_cast<uint32_t>(End());
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
  if (!IsEmpty(Chain::kMain) || !IsEmpty(Chain::kHeld) || End() == kHeaderSize) return true;
  // The header goes first: a file cut off before the truncation only carries dead bytes. The
  // version stays that of the file.
  ResetHeader(header_.version);
  if (!WriteHeader() || !store_->Truncate(kHeaderSize)) return Fail(kErrIo);
  return true;
}

bool PatrolQueue::IsEmpty(Chain chain) const {
  return First(chain) == Tail(chain);
}

bool PatrolQueue::Append(std::string_view data, Chain chain, NodeId* node) {
  if (!CheckWritable()) return false;
  return LinkBetween(Last(chain), Tail(chain), data, chain, node);
}

bool PatrolQueue::AppendAll(const std::vector<std::string>& records, Chain chain) {
  if (!CheckWritable()) return false;
  if (records.empty()) return true;
  // The nodes lie back to back from the end of the file, each linked to its neighbours already.
  std::vector<uint32_t> offsets;
  offsets.reserve(records.size());
  const uint64_t end = End();
  uint64_t at = end;
  for (const std::string& data : records) {
    if (at + kNodeHeader + uint64_t{data.size()} > UINT32_MAX) return Fail(kErrIo);
    offsets.push_back(static_cast<uint32_t>(at));
    at += kNodeHeader + data.size();
  }
  const uint32_t last = Last(chain);
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(at - end));
  for (std::size_t i = 0; i < records.size(); ++i) {
    AppendNodeBytes(bytes, i == 0 ? last : offsets[i - 1],
                    i + 1 < records.size() ? offsets[i + 1] : Tail(chain), records[i]);
  }
  if (!store_->Write(end, bytes.data(), bytes.size())) return Fail(kErrIo);
  header_.end = header_.end_again = static_cast<uint32_t>(at);
  // The next link of the chain's last node (or of its head) is the commit.
  Sentinel(Tail(chain)).prev = offsets.back();
  if (!SetNodeWord(last, kNextField, offsets.front()) || !WriteHeader()) return Fail(kErrIo);
  count_[Index(chain)] += records.size();
  return true;
}

bool PatrolQueue::PeekFront(std::string& data, NodeId& node, Chain chain) {
  if (!CheckOpen() || IsEmpty(chain)) return false;
  node = First(chain);
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
  return LinkBetween(Head(chain), First(chain), data, chain, node);
}

bool PatrolQueue::PopFront(std::string& data, Chain chain) {
  if (!CheckWritable() || IsEmpty(chain)) return false;
  const uint32_t node = First(chain);
  Links links;
  if (!ReadNode(node, links, &data)) return false;
  return Unlink({Head(chain), links.next}, chain);
}

bool PatrolQueue::PopBack(std::string& data, Chain chain) {
  if (!CheckWritable() || IsEmpty(chain)) return false;
  const uint32_t node = Last(chain);
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
  uint32_t node = First(chain);
  std::size_t steps = 0;
  const std::size_t max_steps = (End() - kHeaderSize) / kNodeHeader + 1;
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
        Sentinel(kept).next = after;
        if (IsSentinel(after)) Sentinel(after).prev = kept;
        if (!WriteHeader()) return Fail(kErrIo);
      } else if (!SetNodeWord(kept, kNextField, after)) {
        return Fail(kErrIo);
      } else if (IsSentinel(after)) {
        Sentinel(after).prev = kept;
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
  for (uint32_t node = First(chain); node != Tail(chain);) {
    Links links;
    if (!ReadNode(node, links, &data)) return false;
    if (!visit(node, data)) break;
    node = links.next;
  }
  return true;
}

bool PatrolQueue::Reset() {
  if (!CheckWritable()) return false;
  for (Chain chain : {Chain::kMain, Chain::kHeld}) {
    Sentinel(Head(chain)).next = Tail(chain);
    Sentinel(Tail(chain)).prev = Head(chain);
  }
  count_ = {};
  if (End() == kHeaderSize) return WriteHeader() || Fail(kErrIo);
  return CutBackIfEmpty();
}

bool PatrolQueue::HoldFront(std::string& data, NodeId& held) {
  NodeId node = 0;
  return CheckWritable() && PeekFront(data, node) && Hold(node, data, held);
}

bool PatrolQueue::Hold(NodeId node, std::string_view data, NodeId& held) {
  if (!CheckWritable()) return false;
  if (IsEmpty(Chain::kMain) || node != First(Chain::kMain)) {
    return Append(data, Chain::kHeld, &held) && Remove(node, Chain::kMain);
  }
  Links links;
  if (!ReadNode(node, links, nullptr)) return false;
  // The copy is complete, then linked into the held chain: by its last node's next link, or
  // (when the held chain is empty) by the header write below, which then moves the record in
  // one write.
  const uint32_t last = Last(Chain::kHeld);
  uint32_t copy = 0;
  if (!WriteNode({last, Tail(Chain::kHeld)}, data, copy)) return false;
  if (!SetNodeWord(last, kNextField, copy)) return Fail(kErrIo);
  Sentinel(Tail(Chain::kHeld)).prev = copy;
  // The header write unlinks the original; the previous link of the next node follows it.
  Sentinel(Head(Chain::kMain)).next = links.next;
  if (IsSentinel(links.next)) Sentinel(links.next).prev = Head(Chain::kMain);
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
    const uint32_t node = Last(Chain::kHeld);
    Links links;
    if (!ReadNode(node, links, &data)) return false;
    if (rewrite) data = rewrite(data);
    if (!InsertFront(std::string_view(data), Chain::kMain)) return false;
    if (!Unlink({links.prev, Tail(Chain::kHeld)}, Chain::kHeld)) return false;
  }
  return true;
}

}  // namespace qlm
