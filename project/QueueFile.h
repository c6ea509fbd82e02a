#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "project/QueueStore.h"

namespace qlm {

// The store of a queue in production: the file itself, read through a window of its bytes or a
// mapping of it, written with system calls or stores into the mapping.
class QueueFile final : public QueueStore {
 public:
  QueueFile() = default;
  ~QueueFile() override;
  QueueFile(const QueueFile&) = delete;
  QueueFile& operator=(const QueueFile&) = delete;

  bool Open(const std::string& path, bool writable) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  uint64_t Size() const override { return size_; }
  // Reads through the mapping, or through the read window, which a miss moves to `offset` (one
  // read of kWindowSize bytes).
  bool Read(uint64_t offset, void* data, std::size_t size) override;
  // Writes go to the file (through the mapping where it covers them) and into the read window
  // where they overlap it.
  bool Write(uint64_t offset, const void* data, std::size_t size) override;
  bool Truncate(uint64_t size) override;
  bool Unchanged() override;

 private:
  // Forgets the read window: the file may have changed behind this object (or was cut back).
  void DropWindow() { window_.clear(); }
  // Maps the file (a writable one) so that it covers `size` bytes.
  void MapFile(uint64_t size);
  void UnmapFile();
  // True when [offset, offset + size) lies within the file and the mapping.
  bool InMap(uint64_t offset, std::size_t size) const {
    return offset + size <= size_ && offset + size <= map_size_;
  }
  // Counts an access through the mapping; now and then lets go of the mapped pages (see map_).
  void TouchedMap();

  int fd_ = -1;
  std::string path_;
  uint64_t size_ = 0;  // the file's length in bytes
  // The read window: a copy of the file's bytes [window_at_, window_at_ + window_.size()) as they
  // are on disk, kept so by every write of this object. A queue is mostly read at its front, in
  // the order its nodes were appended (back to back), so one read serves many records. Empty
  // after Open, Unchanged and a cut; never more than kWindowSize bytes.
  static constexpr std::size_t kWindowSize = 8192;
  std::vector<unsigned char> window_;
  uint64_t window_at_ = 0;
  // The file shared-mapped, when it is open to be written: a write within the file's bytes (a
  // link word, the header) is a store into the mapping and a read within them a copy from it,
  // with no system call; the page cache is the same either way, so other processes and a kill
  // see the same bytes in the same order as with writes. Bytes that make the file longer are
  // still written. The mapping reaches beyond the file's end (never touched there) so that it
  // covers what is appended after it was made. Pages touched through it count as the program's
  // memory until it lets go of them, which it does every kMapTouches accesses (they stay in the
  // page cache, with what was written): a long queue is walked once from front to back, and
  // would otherwise be counted whole.
  static constexpr std::size_t kMapTouches = 2048;
  unsigned char* map_ = nullptr;
  uint64_t map_size_ = 0;
  std::size_t map_touches_ = 0;
};

}  // namespace qlm
