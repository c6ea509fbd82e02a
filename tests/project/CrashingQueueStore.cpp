#include "tests/project/CrashingQueueStore.h"

#include <algorithm>

namespace qlm::test {

void CrashingQueueStore::CrashAfter(std::size_t writes) {
  writes_left_ = writes;
  if (Killed() && file_.IsOpen()) Die();
}

bool CrashingQueueStore::Open(const std::string& path, bool writable) {
  path_ = path;
  const bool open = file_.Open(path, writable && !Killed());
  size_ = file_.Size();
  return open;
}

bool CrashingQueueStore::Spend() {
  if (Killed()) return false;
  if (writes_left_ != kNoCrash) --writes_left_;
  return true;
}

void CrashingQueueStore::Die() {
  size_ = file_.Size();
  file_.Open(path_, false);
}

bool CrashingQueueStore::Write(uint64_t offset, const void* data, std::size_t size) {
  if (!Spend()) {
    size_ = std::max(size_, offset + size);
    return true;
  }
  const bool written = file_.Write(offset, data, size);
  if (Killed()) Die();
  return written;
}

bool CrashingQueueStore::Truncate(uint64_t size) {
  if (!Spend()) {
    size_ = size;
    return true;
  }
  const bool cut = file_.Truncate(size);
  if (Killed()) Die();
  return cut;
}

}  // namespace qlm::test
