#include "platform/SpareSockets.h"

#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>

#include "platform/MadeAhead.h"

namespace qlm {

namespace {

class Maker {
 public:
  static Maker& Instance() {
    static Maker* maker = new Maker;  // never destroyed: a Keeper may outlive main's statics
    return *maker;
  }

  void Keep() {
    std::lock_guard lock(mutex_);
    if (keepers_++ > 0) return;
    sockets_ = std::make_unique<MadeAhead<int>>(
        SpareSockets::kKept,
        [](int& fd) {
          fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
          // Out of descriptors, say: the takers make their own and see why.
          return fd >= 0 ? MadeAhead<int>::Outcome::kMade : MadeAhead<int>::Outcome::kFailed;
        },
        [](int& fd) { ::close(fd); });
  }

  void Release() {
    std::lock_guard lock(mutex_);
    if (--keepers_ == 0) sockets_.reset();
  }

  int Take() {
    std::lock_guard lock(mutex_);
    if (!sockets_) return -1;
    return sockets_->Take().value_or(-1);
  }

  std::size_t Ready() {
    std::lock_guard lock(mutex_);
    return sockets_ ? sockets_->Ready() : 0;
  }

 private:
  std::mutex mutex_;  // guards the keepers and their sockets' lifetime
  int keepers_ = 0;
  std::unique_ptr<MadeAhead<int>> sockets_;  // while anybody keeps them
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
