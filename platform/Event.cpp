#include "platform/Event.h"

namespace qlm {

void Event::Set() {
  std::lock_guard lock(mutex_);
  set_ = true;
  signal_.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool Event::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return signal_.wait_for(lock, timeout, [this] { return set_; });
}

void Event::Wait() {
  std::unique_lock lock(mutex_);
  signal_.wait(lock, [this] { return set_; });
}

}  // namespace qlm
