#include "net/WSAEventWindow.h"

#include <atomic>

#include "net/WSEventRegistry.h"
#include "net/WSMessages.h"

namespace qlm {

namespace {
std::atomic<Hwnd> hidden_window{0};
}  // namespace

WSAEventWindow::~WSAEventWindow() {
  Destroy();
}

bool WSAEventWindow::CreateHidden() {
  if (hidden_window.load() != 0) return false;
  if (!Create(kClassName, "")) return false;
  Hwnd none = 0;
  if (!hidden_window.compare_exchange_strong(none, Handle())) {
    Destroy();
    return false;
  }
  return true;
}

Hwnd WSAEventWindow::Current() {
  return hidden_window.load();
}

LResult WSAEventWindow::WindowProc(Message& msg) {
  if (msg.message == WM_DESTROY) {
    Hwnd mine = Handle();
    hidden_window.compare_exchange_strong(mine, 0);
    return 0;
  }
  WSEventRegistry::Kind kind;
  if (msg.message == WM_WS_SOCKET_EVENT) {
    kind = WSEventRegistry::kSocket;
  } else if (msg.message >= WM_USER && msg.message <= WM_WS_LOOKUP_LAST) {
    kind = WSEventRegistry::kLookup;
  } else {
    return Window::WindowProc(msg);
  }
  // A handle that is not registered (a socket closed, a lookup cancelled, while its message was on
  // the way) is ignored.
  if (WSEventHandler* handler = WSEventRegistry::Instance().Find(msg.wparam, kind)) {
    handler->OnWSMessage(msg);
  }
  return 0;
}

}  // namespace qlm
