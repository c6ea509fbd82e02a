#include "platform/SpareSockets.h"

#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace qlm {

namespace {

class Maker {
 public:
  static Maker& Instance() {
    static Maker* maker = new Maker;  // never destroyed: a Keeper may outlive main's statics
    return *maker;
  }

  void Keep() {
    std::lock_guard life(life_mutex_);
    if (keepers_++ > 0) return;
    {
      std::lock_guard lock(mutex_);
      quit_ = false;
      asked_ = true;
      failed_ = false;
    }
    thread_ = std::thread([this] { Run(); });
  }

  void Release() {
    std::lock_guard life(life_mutex_);
    if (--keepers_ > 0) return;
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
    std::deque<int> left;
    {
      std::lock_guard lock(mutex_);
      left.swap(ready_);
    }
    for (const int fd : left) ::close(fd);
  }

  int Take() {
    std::lock_guard lock(mutex_);
    int fd = -1;
    if (!ready_.empty()) {
      fd = ready_.front();
      ready_.pop_front();
    }
    if (!quit_ && !asked_ && !failed_ && ready_.size() <= SpareSockets::kKept / 2) {
      asked_ = true;
      wake_.notify_one();
    }
    return fd;
  }

  std::size_t Ready() {
    std::lock_guard lock(mutex_);
    return ready_.size();
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return quit_ || asked_; });
      if (quit_) return;
      while (!quit_ && ready_.size() < SpareSockets::kKept) {
        lock.unlock();
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        lock.lock();
        if (fd < 0) {
          failed_ = true;  // out of descriptors, say: the takers make their own and see why
          break;
        }
        ready_.push_back(fd);
      }
      asked_ = false;
    }
  }

  std::mutex life_mutex_;  // Keep and Release, one at a time
  int keepers_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<int> ready_;
  bool asked_ = false;  // the thread is to fill up the sockets
  bool failed_ = false;
  bool quit_ = true;
};

}  // namespace

SpareSockets::Keeper::Keeper() {
  Maker::Instance().Keep();
}

SpareSockets::Keeper::~Keeper() {
  Maker::Instance().Release();
}

int SpareSockets::Take() {
  return Maker::Instance().Take();
}

std::size_t SpareSockets::Ready() {
  return Maker::Instance().Ready();
}

}  // namespace qlm
