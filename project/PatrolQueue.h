#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "project/QueueStore.h"

namespace qlm {

// A persistent, file-backed doubly linked list of encoded records: the patrol queues of a project
// and the picture queue keep their records in it, so that they survive the program.
//
// File layout (32-bit little-endian words, offsets from the start of the file):
//    0  end of the node area (the offset at which the next node is written); 44 in a new file
//    4  the same word again; 44 in a new file
//    8  format version of the records
//   12  head sentinel of the main chain: previous 12, next (first node, or 20 when empty)
//   20  tail sentinel of the main chain: previous (last node, or 12 when empty), next 20
//   28  head sentinel of the held chain: previous 28, next (first node, or 36 when empty)
//   36  tail sentinel of the held chain: previous (last node, or 28 when empty), next 36
//   44  nodes: previous offset, next offset, data length, data
// New nodes are written at the end of the file; an unlinked node's bytes stay until both chains
// are empty, when the file is cut back to its 44-byte header. In memory the header is a Header,
// field by field; the file's bytes are read and written through a QueueStore.
//
// Crash safety: the next links are the truth. Every change writes a node completely before one
// 4-byte next link (or one header write) makes it part of a chain, and unlinks by one such write;
// the previous links are brought up to date after that. A process killed between any two writes
// therefore leaves whole chains: at worst an orphan node at the end of the file and stale
// previous links, which Open() repairs from the next links. Moving a record between the chains
// links the copy before it unlinks the original, so a kill in between keeps the record twice,
// never loses it.
//
// Records are opaque bytes here; a record type with Encode() and a static Decode(bytes, version,
// record) can use the typed helpers.
class PatrolQueue {
 public:
  // The main chain holds the queue; the held chain keeps records that are taken out of it for a
  // while (by a download in progress) so that they are on disk until they are done.
  enum class Chain : uint8_t { kMain, kHeld };
  // A node's offset in the file; valid until the node is removed or the file cut back.
  using NodeId = uint32_t;

  // Error codes kept in Error().
  static constexpr int kErrNotOpen = -1;  // no file is open
  static constexpr int kErrOpen = -2;     // the file could not be opened or created
  static constexpr int kErrIo = -3;       // a read or write failed
  static constexpr int kErrDamaged = -4;  // the file is not a record list, or its chains are broken
  static constexpr int kErrReadOnly = -5;  // a change asked of a file opened for reading

  static constexpr uint32_t kHeaderSize = 44;

  // `version` is written into files this object creates. The file is read and written through
  // `store` when one is given (a test's), else directly (QueueFile).
  explicit PatrolQueue(int32_t version);
  PatrolQueue(int32_t version, std::unique_ptr<QueueStore> store);
  ~PatrolQueue();
  PatrolQueue(const PatrolQueue&) = delete;
  PatrolQueue& operator=(const PatrolQueue&) = delete;

  // Opens the list file, creating it with an empty header when it is absent. A damaged file (also
  // one cut to no bytes) is left untouched and the open fails with kErrDamaged.
  bool Open(const std::string& path);
  // Opens an existing list file to read its records; nothing is written to it, not even the
  // repairs that Open makes.
  bool OpenForReading(const std::string& path);
  void Close();
  // For a file that other processes change as well, each under a lock that all of them take
  // around every operation: brings this object up to what the file holds now, before an operation.
  // Cheap while the file is the one this object opened and its header and size are what this
  // object last wrote or read; otherwise the file is opened again, with Open's checks and repairs.
  // (A foreign sequence of changes that ends with the same header and size leaves the chains as
  // they are on disk, which every operation reads through the links; only Count() may then be
  // off.) False when the file could not be opened again.
  bool Refresh();
  bool IsOpen() const { return store_->IsOpen(); }
  const std::string& Path() const { return path_; }
  // The version word of the open file: the object's own version for a file it created.
  int32_t FileVersion() const { return static_cast<int32_t>(header_.version); }
  int Error() const { return error_; }

  bool Append(std::string_view data, Chain chain = Chain::kMain, NodeId* node = nullptr);
  // Appends several records with three writes, however many: their nodes go to the end of the
  // file in one piece, then one link makes them all part of the chain.
  bool AppendAll(const std::vector<std::string>& records, Chain chain = Chain::kMain);
  bool InsertFront(std::string_view data, Chain chain = Chain::kMain, NodeId* node = nullptr);
  // False with Error() 0 when the chain is empty.
  bool PopFront(std::string& data, Chain chain = Chain::kMain);
  // Reads the front record without removing it; `node` names it for Remove.
  bool PeekFront(std::string& data, NodeId& node, Chain chain = Chain::kMain);
  // Reads the record after `after` (a node of `chain`) without removing anything; `node` names
  // it. False with Error() 0 when `after` is the last.
  bool PeekAfter(NodeId after, std::string& data, NodeId& node, Chain chain = Chain::kMain);
  bool PopBack(std::string& data, Chain chain = Chain::kMain);
  // Unlinks a node of the given chain (one that Append, InsertFront or HoldFront reported).
  bool Remove(NodeId node, Chain chain);
  // Unlinks several nodes of the chain (in any order, each once) by walking it from its front
  // until all are found: each run of them that stands together in the chain goes with one link
  // write and one previous-link write. Fails with kErrDamaged, after unlinking the runs before,
  // when a node is not in the chain.
  bool RemoveAll(std::vector<NodeId> nodes, Chain chain);
  bool IsEmpty(Chain chain = Chain::kMain) const;
  std::size_t Count(Chain chain = Chain::kMain) const { return count_[Index(chain)]; }
  // Calls `visit` for each record from front to back until it returns false.
  bool ForEach(Chain chain, const std::function<bool(NodeId, std::string_view)>& visit);
  // Empties both chains; the file is cut back to an empty header.
  bool Reset();

  // Takes the front record of the main chain into the held chain; `held` names it there.
  bool HoldFront(std::string& data, NodeId& held);
  // Moves a record of the main chain into the held chain as `data` (the record as it is now):
  // the copy is linked in before the original is unlinked. For the front record, the one header
  // write that unlinks it also brings the held chain's header words up to date.
  bool Hold(NodeId node, std::string_view data, NodeId& held);
  // Puts every held record back at the front of the main chain, keeping their order; `rewrite`,
  // when given, makes the record that goes back from the one that was held.
  bool RestoreHeld(const std::function<std::string(std::string_view)>& rewrite = nullptr);

  // Typed forms. A stored record that does not decode is removed, skipped and counted.
  template <class Record>
  bool Append(const Record& record, Chain chain = Chain::kMain) {
    return Append(std::string_view(record.Encode()), chain);
  }
  template <class Record>
  bool InsertFront(const Record& record, Chain chain = Chain::kMain) {
    return InsertFront(std::string_view(record.Encode()), chain);
  }
  template <class Record>
  bool PopFront(Record& record, Chain chain = Chain::kMain) {
    std::string data;
    while (PopFront(data, chain)) {
      if (Record::Decode(data, FileVersion(), record)) return true;
      ++skipped_;
    }
    return false;
  }
  template <class Record>
  bool PopBack(Record& record, Chain chain = Chain::kMain) {
    std::string data;
    while (PopBack(data, chain)) {
      if (Record::Decode(data, FileVersion(), record)) return true;
      ++skipped_;
    }
    return false;
  }
  // Records removed because they did not decode.
  std::size_t Skipped() const { return skipped_; }

 private:
  struct Links {
    uint32_t prev = 0;
    uint32_t next = 0;
    bool operator==(const Links&) const = default;
  };
  // The sentinels of a chain: the nodes in the header before its first node and after its last.
  // Head's previous link and tail's next link point at themselves and never change.
  struct Sentinels {
    Links head;
    Links tail;
    bool operator==(const Sentinels&) const = default;
  };
  // The header, field by field in file order (see the layout above).
  struct Header {
    uint32_t end = kHeaderSize;
    uint32_t end_again = kHeaderSize;
    uint32_t version = 0;
    std::array<Sentinels, 2> chains;  // the main chain's, then the held chain's
    bool operator==(const Header&) const = default;
  };
  static constexpr uint32_t kWordSize = 4;
  static constexpr uint32_t kFirstSentinel = 12;  // offset of the main chain's head sentinel
  static constexpr uint32_t kSentinelSize = 8;    // previous link, next link

  static std::size_t Index(Chain chain) { return chain == Chain::kMain ? 0 : 1; }
  static uint32_t Head(Chain chain) {
    return kFirstSentinel + 2 * kSentinelSize * static_cast<uint32_t>(Index(chain));
  }
  static uint32_t Tail(Chain chain) { return Head(chain) + kSentinelSize; }
  static bool IsSentinel(uint32_t offset) { return offset < kHeaderSize; }
  static Header EmptyHeader(uint32_t version);
  static void EncodeHeader(const Header& header, unsigned char* bytes);
  static Header DecodeHeader(const unsigned char* bytes);
  // The links of the sentinel at `offset` (one of the four Head and Tail offsets).
  Links& Sentinel(uint32_t offset);
  uint32_t First(Chain chain) const { return header_.chains[Index(chain)].head.next; }
  uint32_t Last(Chain chain) const { return header_.chains[Index(chain)].tail.prev; }
  // The file's length: new nodes are written at this offset.
  uint64_t End() const { return store_->Size(); }

  bool OpenFile(const std::string& path, bool read_only);
  // Puts a file holding an empty header at `path`, whole or not at all.
  bool CreateEmpty(const std::string& path);
  bool Fail(int error);
  bool CheckOpen();
  bool CheckWritable();
  void ResetHeader(uint32_t version);
  bool WriteHeader();
  bool ReadNode(uint32_t node, Links& links, std::string* data);
  // Sets a link word: a sentinel's in the header (written by WriteHeader), a node's on disk.
  bool SetNodeWord(uint32_t node, uint32_t field_offset, uint32_t value);
  bool WriteNode(const Links& links, std::string_view data, uint32_t& node);
  bool LinkBetween(uint32_t prev, uint32_t next, std::string_view data, Chain chain, NodeId* node);
  // Unlinks the node that stands between links.prev and links.next.
  bool Unlink(const Links& links, Chain chain);
  bool CutBackIfEmpty();
  bool Validate();

  int32_t version_;
  std::unique_ptr<QueueStore> store_;
  bool read_only_ = false;  // opened by OpenForReading
  std::string path_;
  int error_ = 0;
  // The header as it is on disk (after the last completed write).
  Header header_;
  std::array<std::size_t, 2> count_{};
  std::size_t skipped_ = 0;
};

}  // namespace qlm
