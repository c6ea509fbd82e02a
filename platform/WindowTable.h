#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "platform/LoopQueue.h"
#include "platform/Message.h"

namespace qlm {

class Window;

// The process-wide map from window handles to windows and their loops, and from thread ids to
// loops. It is never destroyed, so threads that post during the program's exit find it intact.
class WindowTable {
 public:
  static WindowTable& Instance();
  WindowTable();

  // A fresh window handle and thread id; neither is ever handed out twice. A window handle carries
  // the process id in its high 32 bits, so handles stay unique across the programs that message
  // each other; the low 32 bits count from a random start, so that a handle of a program that died
  // is not met again in a later one that got the same process id.
  Hwnd AddWindow(Window* window, std::shared_ptr<LoopQueue> queue);
  void RemoveWindow(Hwnd hwnd);
  // The loop that owns `hwnd`, or nullptr when there is no such window.
  std::shared_ptr<LoopQueue> QueueOf(Hwnd hwnd);
  // The window object for `hwnd`; only the owning thread may use the pointer.
  Window* WindowOf(Hwnd hwnd);

  ThreadId AddThread(const std::shared_ptr<LoopQueue>& queue);
  void RemoveThread(ThreadId id);
  std::shared_ptr<LoopQueue> QueueOfThread(ThreadId id);
  ThreadId NextThreadId();

  // Whether a handle names a window of this process (live or not), as opposed to another program's.
  static bool IsLocal(Hwnd hwnd);

 private:
  struct WindowEntry {
    Window* window;
    std::shared_ptr<LoopQueue> queue;
  };
  // Lookups (every post and every delivery, from all threads) share it; changes take it alone.
  std::shared_mutex mutex_;
  std::unordered_map<Hwnd, WindowEntry> windows_;
  std::unordered_map<ThreadId, std::weak_ptr<LoopQueue>> threads_;
  std::uint32_t next_hwnd_;  // low half of the next handle; thread ids stay far below any handle
  ThreadId next_thread_ = 1;
};

}  // namespace qlm
