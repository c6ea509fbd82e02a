#pragma once

#include <memory>
#include <string>

#include "platform/LoopQueue.h"
#include "platform/Message.h"

namespace qlm {

class MessageLoop;
class WindowSocket;

// A window: a handle that messages are addressed to, and a handler (WindowProc) that runs on the
// thread of the loop that owns it. Windows here are never shown; the class name and title are what
// other code finds a window by. Create, Destroy and the destructor run on the owning thread.
class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Creates the window on the calling thread's loop. False when the thread has no loop or the
  // window already exists.
  bool Create(const std::string& class_name = std::string(),
              const std::string& title = std::string());
  // Delivers WM_DESTROY, then withdraws the handle and the window's timers. Messages still on their
  // way to the handle are dropped with their payloads. Nothing happens when the window is gone.
  void Destroy();

  // Makes the window known to other programs: FindWindow finds it there by class and title, and
  // PostMessage and SendMessage reach it by handle (WindowDirectory). Its socket is served by the
  // owning loop, which therefore must have a Poller (MessageLoop::GetPoller). Call on the owning
  // thread after Create; true at once when already published. False with errno when the window
  // does not exist here, the loop has no Poller (EOPNOTSUPP) or the runtime folder fails us.
  // Destroy withdraws it.
  bool Publish();
  bool IsPublished() const { return socket_ != nullptr; }

  // 0 before Create and after Destroy.
  Hwnd Handle() const { return hwnd_; }
  const std::string& ClassName() const { return class_name_; }
  const std::string& Title() const { return title_; }

  // Hands `msg` to the window it is addressed to; 0 when there is no such window any more.
  static LResult Deliver(Message& msg);
  // The same, telling whether there was a window to take it.
  static bool TryDeliver(Message& msg, LResult* result);

 protected:
  // Handles one message and returns its result. The default handles nothing and returns 0.
  virtual LResult WindowProc(Message& msg);

 private:
  void Unregister();

  Hwnd hwnd_ = 0;
  std::shared_ptr<LoopQueue> queue_;      // the owning loop's queue while the window exists
  std::unique_ptr<WindowSocket> socket_;  // while published
  std::string class_name_;
  std::string title_;
};

}  // namespace qlm
