#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "project/QueueFile.h"
#include "project/QueueStore.h"

namespace qlm::test {

// A queue's file as a process sees it that is killed after a given number of writes (or cuts):
// those reach the file, later ones never do, while the queue goes on as if they had. Reopen the
// file with another queue to see what a restart would find.
class CrashingQueueStore final : public QueueStore {
 public:
  // Counts from now: after `writes` more writes the process is as good as killed.
  void CrashAfter(std::size_t writes);

  bool Open(const std::string& path, bool writable) override;
  void Close() override { file_.Close(); }
  bool IsOpen() const override { return file_.IsOpen(); }
  uint64_t Size() const override { return Killed() ? size_ : file_.Size(); }
  bool Read(uint64_t offset, void* data, std::size_t size) override {
    return file_.Read(offset, data, size);
  }
  bool Write(uint64_t offset, const void* data, std::size_t size) override;
  bool Truncate(uint64_t size) override;
  bool Unchanged() override { return file_.Unchanged(); }

 private:
  static constexpr std::size_t kNoCrash = SIZE_MAX;
  bool Killed() const { return writes_left_ == 0; }
  // Counts one write; true when it may still reach the file.
  bool Spend();
  // The kill: the file is only read from now on (not through a mapping, which would reach the
  // file), and its length as the queue believes it is kept here.
  void Die();

  QueueFile file_;
  std::string path_;
  std::size_t writes_left_ = kNoCrash;
  uint64_t size_ = 0;  // after the kill: the length the queue's later writes would have made
};

}  // namespace qlm::test
