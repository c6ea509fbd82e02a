#include "platform/DeferredClose.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ThreadPriority.h"

namespace qlm {

namespace {

class Closer {
 public:
  static Closer& Instance() {
    // Never destroyed: descriptors may be handed over until the process ends, and the process's
    // end closes whatever still waits.
    static Closer* closer = new Closer;
    return *closer;
  }

  void Close(int fd) {
    std::unique_lock lock(mutex_);
    if (!started_) {
      started_ = true;
      std::thread([this] { Run(); }).detach();
    }
    waiting_.push_back(fd);
    // The thread sleeps until there is something to close, then for the rest of a batch.
    if (waiting_.size() == 1 || waiting_.size() == DeferredClose::kBatch) {
      lock.unlock();
      wake_.notify_one();
    }
  }

  void Flush() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = handed_ + waiting_.size();
    flushing_ = true;
    wake_.notify_one();
    closed_.wait(lock, [&] { return closed_count_ >= target; });
    flushing_ = false;
  }

 private:
  void Run() {
    LowerThreadPriority();  // closing can wait for time the busy threads leave
    std::vector<int> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return !waiting_.empty(); });
      wake_.wait_for(lock, std::chrono::milliseconds(DeferredClose::kMaxDelayMs),
                     [this] { return flushing_ || waiting_.size() >= DeferredClose::kBatch; });
      batch.swap(waiting_);
      handed_ += batch.size();
      lock.unlock();
      for (const int fd : batch) ::close(fd);
      lock.lock();
      closed_count_ += batch.size();
      batch.clear();
      closed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;    // something to close, a full batch, or a flush
  std::condition_variable closed_;  // a batch was closed
  std::vector<int> waiting_;
  std::uint64_t handed_ = 0;        // descriptors taken by the thread so far
  std::uint64_t closed_count_ = 0;  // of those, closed
  bool started_ = false;
  bool flushing_ = false;
};

}  // namespace

void DeferredClose::Close(int fd) {
  if (fd >= 0) Closer::Instance().Close(fd);
}

void DeferredClose::Flush() {
  Closer::Instance().Flush();
}

}  // namespace qlm
