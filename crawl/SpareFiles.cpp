#include "crawl/SpareFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "crawl/MirrorFiles.h"

namespace qlm {

SpareFiles::SpareFiles(std::string folder)
    : folder_(std::move(folder)), thread_([this] { Run(); }) {}

SpareFiles::~SpareFiles() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  thread_.join();
  for (const File& file : ready_) {
    ::close(file.fd);
    ::unlink(file.path.c_str());
  }
}

std::optional<SpareFiles::File> SpareFiles::Take() {
  std::lock_guard lock(mutex_);
  std::optional<File> taken;
  if (!ready_.empty()) {
    taken = std::move(ready_.front());
    ready_.pop_front();
  }
  if (!asked_ && !failed_ && ready_.size() <= kKept / 2) {
    asked_ = true;
    wake_.notify_one();
  }
  return taken;
}

void SpareFiles::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return quit_ || asked_; });
    if (quit_) return;
    while (!quit_ && ready_.size() < kKept) {
      const std::string path = folder_ + std::string(kSpareName) + std::to_string(next_++);
      lock.unlock();
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      const int error = fd < 0 ? errno : 0;
      lock.lock();
      if (error == EEXIST) continue;  // left by a patrol before; the number is passed over
      if (fd < 0) {
        failed_ = true;
        break;
      }
      ready_.push_back({path, fd});
    }
    asked_ = false;
    if (failed_) return;
  }
}

}  // namespace qlm
