#pragma once

#include <memory>
#include <mutex>
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

  // A fresh window handle and thread id; neither is ever handed out twice.
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

 private:
  struct WindowEntry {
    Window* window;
    std::shared_ptr<LoopQueue> queue;
  };
  std::mutex mutex_;
  std::unordered_map<Hwnd, WindowEntry> windows_;
  std::unordered_map<ThreadId, std::weak_ptr<LoopQueue>> threads_;
  Hwnd next_hwnd_ = 0x10000;  // window handles and thread ids share no range, which eases debugging
  ThreadId next_thread_ = 1;
};

}  // namespace qlm
