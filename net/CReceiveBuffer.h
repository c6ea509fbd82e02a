#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace qlm {

// The bytes a request has received and not yet consumed, with the two framing steps of an
// HTTP/1.0 reply: the status line (up to the first LF) and the header block (up to the first
// empty line). Bytes arrive in any pieces; each step gives the same result however the reply
// was cut, and keeps its search position so that a reply that trickles in one byte at a time
// costs linear time.
class CReceiveBuffer {
 public:
  enum Take { kWait, kTaken, kTooLong };

  // capacity: bytes held at most; it must exceed every limit passed to the Take calls by 4.
  explicit CReceiveBuffer(size_t capacity);
  ~CReceiveBuffer();
  CReceiveBuffer(const CReceiveBuffer&) = delete;
  CReceiveBuffer& operator=(const CReceiveBuffer&) = delete;

  // Free room at the end, after moving unconsumed bytes to the front when that makes room.
  char* WritePos();
  size_t Room();
  // Counts n bytes written at WritePos() as received.
  void Commit(size_t n);

  const char* Data() const { return bytes_.get() + begin_; }
  size_t Buffered() const { return end_ - begin_; }
  size_t Capacity() const { return capacity_; }
  // Drops the first n buffered bytes (n <= Buffered()).
  void Consume(size_t n);
  void Clear();

  // The bytes before the first LF (a CR before it stays in the line), removed with the LF.
  // kTooLong when the line is longer than max_bytes; kWait while no LF has arrived.
  Take TakeLine(size_t max_bytes, std::string* line);
  // The bytes before the first CR LF CR LF or LF LF, removed with that terminator; an empty
  // block when the buffer starts with CR LF or LF. kTooLong when the block is longer than
  // max_bytes; kWait while no terminator has arrived.
  Take TakeHeaderBlock(size_t max_bytes, std::string* block);

 private:
  // Not cleared when made: every request makes one, and only received bytes are ever read. A
  // block comes from (and goes back to) the few its thread keeps for reuse: a patrol makes a
  // request or two per download, and a block of 64 KiB handed back to the allocator each time
  // makes it sort its free lists each time.
  std::unique_ptr<char[]> bytes_;
  size_t capacity_;
  size_t begin_ = 0;  // first unconsumed byte
  size_t end_ = 0;    // one past the last received byte
  // Offset from begin_ below which the current Take step has already searched in vain; reset
  // whenever bytes are consumed.
  size_t searched_ = 0;
};

}  // namespace qlm
