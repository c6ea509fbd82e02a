#include "net/CWSThread.h"

#include <algorithm>
#include <mutex>

#include "net/WSAEventWindow.h"
#include "net/WSMessages.h"
#include "net/WSStartup.h"
#include "platform/EventLoop.h"
#include "platform/Messaging.h"

namespace qlm {

namespace {

std::mutex factory_mutex;
ManagerFactory manager_factory;  // guarded by factory_mutex

ManagerFactory CurrentFactory() {
  std::lock_guard lock(factory_mutex);
  return manager_factory;
}

}  // namespace

CWSThread::CWSThread(Clock& clock) : clock_(clock) {}

CWSThread::~CWSThread() {
  Stop();
}

Event& CWSThread::EndEvent() {
  static Event* event = new Event;  // waited on from any thread, up to the program's exit
  return *event;
}

void CWSThread::SetManagerFactory(ManagerFactory factory) {
  std::lock_guard lock(factory_mutex);
  manager_factory = std::move(factory);
}

bool CWSThread::Start() {
  if (thread_.joinable() || !WSStartupState().started || WSAEventWindow::Current() != 0) {
    return false;
  }
  EndEvent().Reset();
  std::promise<bool> started;
  std::future<bool> started_future = started.get_future();
  try {
    thread_ = std::thread([this, &started] { Main(&started); });
  } catch (const std::system_error&) {
    EndEvent().Set();
    return false;
  }
  if (!started_future.get()) {
    thread_.join();
    thread_id_ = 0;
    event_window_ = 0;
    return false;
  }
  return true;
}

void CWSThread::Stop() {
  if (!thread_.joinable()) return;
  PostThreadMessage(thread_id_, WM_WS_END_THREAD);
  thread_.join();
  thread_id_ = 0;
  event_window_ = 0;
}

void CWSThread::Main(std::promise<bool>* started) {
  {
    EventLoop loop(clock_);
    WSAEventWindow window;
    if (!loop.Valid() || !window.CreateHidden()) {
      started->set_value(false);
    } else {
      // Download managers made on this thread; each is freed once it has destroyed itself (it
      // says so with WM_WS_FREE_ENDED), and whatever is left when the loop ends goes with it.
      std::vector<std::unique_ptr<Window>> managers;
      loop.SetThreadMessageHandler([&managers](Message& msg) {
        if (msg.message == WM_WS_END_THREAD) {
          PostQuitMessage(0);
        } else if (msg.message == WM_WS_FREE_ENDED) {
          std::erase_if(managers, [](const auto& w) { return w->Handle() == 0; });
        } else if (msg.message == WM_WS_CREATE_MANAGER) {
          std::erase_if(managers, [](const auto& w) { return w->Handle() == 0; });
          auto request = msg.TakePayload<ManagerRequest>();
          if (!request) return;
          const Hwnd requester = request->requester;
          std::unique_ptr<Window> manager;
          if (ManagerFactory factory = CurrentFactory()) manager = factory(std::move(request));
          const Hwnd manager_hwnd = manager ? manager->Handle() : 0;
          if (manager) managers.push_back(std::move(manager));
          // The requester must learn the outcome either way, or it would wait for ever.
          PostMessage(requester, WM_WS_MANAGER_CREATED, 0, 0, MakePayload<Hwnd>(manager_hwnd));
        }
      });
      thread_id_ = loop.Id();
      event_window_ = window.Handle();
      started->set_value(true);
      loop.Run();
      for (auto& manager : managers) manager->Destroy();
      managers.clear();
    }
  }
  EndEvent().Set();
}

}  // namespace qlm
