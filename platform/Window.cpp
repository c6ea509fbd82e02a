#include "platform/Window.h"

#include "platform/MessageIds.h"
#include "platform/MessageLoop.h"
#include "platform/WindowTable.h"

namespace qlm {

Window::~Window() {
  // A derived window is already gone here, so it gets no WM_DESTROY; owners that want one call
  // Destroy() themselves.
  Unregister();
}

bool Window::Create(const std::string& class_name, const std::string& title) {
  MessageLoop* loop = MessageLoop::Current();
  if (!loop || hwnd_ != 0) return false;
  queue_ = loop->Queue();
  class_name_ = class_name;
  title_ = title;
  hwnd_ = WindowTable::Instance().AddWindow(this, queue_);
  return true;
}

void Window::Destroy() {
  if (hwnd_ == 0) return;
  Message msg;
  msg.hwnd = hwnd_;
  msg.message = WM_DESTROY;
  WindowProc(msg);
  Unregister();
}

void Window::Unregister() {
  if (hwnd_ == 0) return;
  WindowTable::Instance().RemoveWindow(hwnd_);
  queue_->KillTimers(hwnd_);
  queue_.reset();
  hwnd_ = 0;
}

LResult Window::Deliver(Message& msg) {
  // Only the owning thread removes a window, and only it delivers, so the window cannot go away
  // between the look-up and the call.
  Window* window = WindowTable::Instance().WindowOf(msg.hwnd);
  return window ? window->WindowProc(msg) : 0;
}

LResult Window::WindowProc(Message&) {
  return 0;
}

}  // namespace qlm
