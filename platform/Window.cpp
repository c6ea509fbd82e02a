#include "platform/Window.h"

#include <cerrno>

#include "platform/MessageIds.h"
#include "platform/MessageLoop.h"
#include "platform/WindowSocket.h"
#include "platform/WindowTable.h"

namespace qlm {

Window::Window() = default;

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

bool Window::Publish() {
  if (socket_) return true;
  MessageLoop* loop = MessageLoop::Current();
  if (hwnd_ == 0 || !loop || loop->Queue() != queue_) {
    errno = EINVAL;
    return false;
  }
  std::shared_ptr<Poller> poller = loop->SharePoller();
  if (!poller) {
    errno = EOPNOTSUPP;
    return false;
  }
  auto socket = std::make_unique<WindowSocket>();
  if (!socket->Open(hwnd_, class_name_, title_, std::move(poller), queue_)) return false;
  socket_ = std::move(socket);
  return true;
}

void Window::Unregister() {
  if (hwnd_ == 0) return;
  // Other programs stop finding the window before its handle goes.
  socket_.reset();
  WindowTable::Instance().RemoveWindow(hwnd_);
  queue_->KillTimers(hwnd_);
  queue_.reset();
  hwnd_ = 0;
}

LResult Window::Deliver(Message& msg) {
  // Only the owning thread removes a window, and only it delivers, so the window cannot go away
  // between the look-up and the call.
  LResult result = 0;
  TryDeliver(msg, &result);
  return result;
}

bool Window::TryDeliver(Message& msg, LResult* result) {
  Window* window = WindowTable::Instance().WindowOf(msg.hwnd);
  *result = window ? window->WindowProc(msg) : 0;
  return window != nullptr;
}

LResult Window::WindowProc(Message&) {
  return 0;
}

}  // namespace qlm
