#include "platform/WindowTable.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <random>
#include <shared_mutex>

namespace qlm {

namespace {

// The process id, read once: every post asks whether its window is local. A child made by fork
// reads its own again (the handler forgets the parent's).
std::atomic<pid_t> own_pid{0};

pid_t OwnPid() {
  pid_t pid = own_pid.load(std::memory_order_relaxed);
  if (pid != 0) return pid;
  static std::once_flag registered;
  std::call_once(registered, [] {
    pthread_atfork(nullptr, nullptr, [] { own_pid.store(0, std::memory_order_relaxed); });
  });
  pid = ::getpid();
  own_pid.store(pid, std::memory_order_relaxed);
  return pid;
}

}  // namespace

WindowTable& WindowTable::Instance() {
  static WindowTable* table = new WindowTable;  // deliberately never destroyed
  return *table;
}

WindowTable::WindowTable() {
  std::random_device seed;
  next_hwnd_ = 0x10000u + seed() % 0x7FFF0000u;
}

bool WindowTable::IsLocal(Hwnd hwnd) {
  return (hwnd >> 32) == static_cast<Hwnd>(OwnPid());
}

Hwnd WindowTable::AddWindow(Window* window, std::shared_ptr<LoopQueue> queue) {
  std::lock_guard lock(mutex_);
  // A child forked after windows existed makes its own, with its own process id.
  if (next_hwnd_ < 0x10000u) next_hwnd_ = 0x10000u;  // the low half wrapped: 0 stays "no window"
  const Hwnd hwnd = (static_cast<Hwnd>(OwnPid()) << 32) | next_hwnd_++;
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
  std::shared_lock lock(mutex_);
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : it->second.queue;
}

Window* WindowTable::WindowOf(Hwnd hwnd) {
  std::shared_lock lock(mutex_);
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
  std::shared_lock lock(mutex_);
  auto it = threads_.find(id);
  return it == threads_.end() ? nullptr : it->second.lock();
}

}  // namespace qlm
