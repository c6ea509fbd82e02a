#include "net/CReceiveBuffer.h"

#include <cstring>
#include <vector>

namespace qlm {

namespace {

// The blocks of one size that buffers of this thread gave back.
struct SpareBlocks {
  static constexpr size_t kKept = 8;
  size_t capacity = 0;
  std::vector<std::unique_ptr<char[]>> blocks;
};
thread_local SpareBlocks spare;

std::unique_ptr<char[]> TakeBlock(size_t capacity) {
  if (spare.capacity == capacity && !spare.blocks.empty()) {
    std::unique_ptr<char[]> block = std::move(spare.blocks.back());
    spare.blocks.pop_back();
    return block;
  }
  return std::make_unique_for_overwrite<char[]>(capacity);
}

void GiveBack(std::unique_ptr<char[]> block, size_t capacity) {
  if (!block) return;
  if (spare.capacity != capacity) {
    spare.blocks.clear();
    spare.capacity = capacity;
  }
  if (spare.blocks.size() < SpareBlocks::kKept) spare.blocks.push_back(std::move(block));
}

}  // namespace

CReceiveBuffer::CReceiveBuffer(size_t capacity)
    : bytes_(TakeBlock(capacity)), capacity_(capacity) {}

CReceiveBuffer::~CReceiveBuffer() {
  GiveBack(std::move(bytes_), capacity_);
}

char* CReceiveBuffer::WritePos() {
  if (end_ == capacity_ && begin_ > 0) {
    std::memmove(bytes_.get(), bytes_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  return bytes_.get() + end_;
}

size_t CReceiveBuffer::Room() {
  WritePos();
  return capacity_ - end_;
}

void CReceiveBuffer::Commit(size_t n) {
  end_ += n;
}

void CReceiveBuffer::Consume(size_t n) {
  begin_ += n;
  searched_ = 0;
  if (begin_ == end_) begin_ = end_ = 0;
}

void CReceiveBuffer::Clear() {
  begin_ = end_ = searched_ = 0;
}

CReceiveBuffer::Take CReceiveBuffer::TakeLine(size_t max_bytes, std::string* line) {
  const char* data = Data();
  const size_t n = Buffered();
  const void* lf = n > searched_ ? std::memchr(data + searched_, '\n', n - searched_) : nullptr;
  if (!lf) {
    searched_ = n;
    return n > max_bytes ? kTooLong : kWait;
  }
  size_t length = static_cast<const char*>(lf) - data;
  if (length > max_bytes) return kTooLong;
  line->assign(data, length);
  Consume(length + 1);
  return kTaken;
}

CReceiveBuffer::Take CReceiveBuffer::TakeHeaderBlock(size_t max_bytes, std::string* block) {
  const char* data = Data();
  const size_t n = Buffered();
  // A reply without header lines: its empty line comes first.
  if (n >= 1 && data[0] == '\n') {
    block->clear();
    Consume(1);
    return kTaken;
  }
  if (n >= 2 && data[0] == '\r' && data[1] == '\n') {
    block->clear();
    Consume(2);
    return kTaken;
  }
  for (size_t i = searched_; i + 1 < n; ++i) {
    if (data[i] == '\n' && data[i + 1] == '\n') {
      if (i > max_bytes) return kTooLong;
      block->assign(data, i);
      Consume(i + 2);
      return kTaken;
    }
    if (data[i] == '\r' && i + 3 < n && data[i + 1] == '\n' && data[i + 2] == '\r' &&
        data[i + 3] == '\n') {
      if (i > max_bytes) return kTooLong;
      block->assign(data, i);
      Consume(i + 4);
      return kTaken;
    }
  }
  // Every start below n - 3 has been decided; later ones may still complete.
  searched_ = n >= 3 ? n - 3 : 0;
  return searched_ > max_bytes ? kTooLong : kWait;
}

}  // namespace qlm
