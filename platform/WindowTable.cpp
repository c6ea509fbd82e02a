#include "platform/WindowTable.h"

#include <unistd.h>

#include <random>

namespace qlm {

WindowTable& WindowTable::Instance() {
  static WindowTable* table = new WindowTable;  // deliberately never destroyed
  return *table;
}

WindowTable::WindowTable() {
  std::random_device seed;
  next_hwnd_ = 0x10000u + seed() % 0x7FFF0000u;
}

bool WindowTable::IsLocal(Hwnd hwnd) {
  return (hwnd >> 32) == static_cast<Hwnd>(getpid());
}

Hwnd WindowTable::AddWindow(Window* window, std::shared_ptr<LoopQueue> queue) {
  std::lock_guard lock(mutex_);
  // The process id is read each time, so a child forked after windows existed makes its own.
  if (next_hwnd_ < 0x10000u) next_hwnd_ = 0x10000u;  // the low half wrapped: 0 stays "no window"
  const Hwnd hwnd = (static_cast<Hwnd>(getpid()) << 32) | next_hwnd_++;
  windows_.emplace(hwnd, WindowEntry{window, std::move(queue)});
  return hwnd;
}

void WindowTable::RemoveWindow(Hwnd hwnd) {
  std::shared_ptr<LoopQueue> queue;  // released outside the lock
  std::lock_guard lock(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  queue = std::move(it->second.queue);
  windows_.erase(it);
}

std::shared_ptr<LoopQueue> WindowTable::QueueOf(Hwnd hwnd) {
  std::lock_guard lock(mutex_);
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : it->second.queue;
}

Window* WindowTable::WindowOf(Hwnd hwnd) {
  std::lock_guard lock(mutex_);
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : it->second.window;
}

ThreadId WindowTable::NextThreadId() {
  std::lock_guard lock(mutex_);
  return next_thread_++;
}

ThreadId WindowTable::AddThread(const std::shared_ptr<LoopQueue>& queue) {
  std::lock_guard lock(mutex_);
  threads_[queue->Id()] = queue;
  return queue->Id();
}

void WindowTable::RemoveThread(ThreadId id) {
  std::lock_guard lock(mutex_);
  threads_.erase(id);
}

std::shared_ptr<LoopQueue> WindowTable::QueueOfThread(ThreadId id) {
  std::lock_guard lock(mutex_);
  auto it = threads_.find(id);
  return it == threads_.end() ? nullptr : it->second.lock();
}

}  // namespace qlm
