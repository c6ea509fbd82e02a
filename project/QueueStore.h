#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qlm {

// Where a PatrolQueue keeps its bytes: one file, read and written at offsets. The queue decides
// what is written in which order (its crash safety rests on that order); the store only moves
// the bytes, so that tests can put one in that stops writing at a chosen moment.
class QueueStore {
 public:
  virtual ~QueueStore() = default;

  // Opens the existing file at `path`, to read it or to read and write it; false (errno tells
  // why) when it cannot be opened.
  virtual bool Open(const std::string& path, bool writable) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The file's length in bytes: as found by Open, then as this object's writes and cuts left it.
  virtual uint64_t Size() const = 0;
  // Reads exactly `size` bytes; false when the file ends before them or the read fails.
  virtual bool Read(uint64_t offset, void* data, std::size_t size) = 0;
  // Writes `size` bytes, making the file longer when they reach past its end.
  virtual bool Write(uint64_t offset, const void* data, std::size_t size) = 0;
  // Cuts the file to `size` bytes.
  virtual bool Truncate(uint64_t size) = 0;
  // Forgets the bytes it keeps of the file (another process may have changed it) and tells
  // whether the file at the path is still the one open, and as long as Size() says.
  virtual bool Unchanged() = 0;
};

}  // namespace qlm
