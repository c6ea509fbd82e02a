#pragma once

#include "platform/Window.h"

namespace qlm {

// The hidden window of the network worker thread: socket events and lookup completions arrive
// here and go to the object registered for their handle. One per process, owned by the worker.
class WSAEventWindow final : public Window {
 public:
  static constexpr char kClassName[] = "WSAEventWindow";

  ~WSAEventWindow() override;

  // Creates the window on the calling thread's loop and makes it the process's hidden window.
  // False when one exists already or there is no loop.
  bool CreateHidden();
  // The process's hidden window, 0 while there is none.
  static Hwnd Current();

 protected:
  LResult WindowProc(Message& msg) override;
};

}  // namespace qlm
