#pragma once

#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Message.h"
#include "platform/MonotonicClock.h"
#include "platform/Window.h"

namespace qlm {

// The request block of WM_WS_CREATE_MANAGER. The crawl engine derives its own block from it with
// what a download manager needs; the worker thread only reads who asked.
struct ManagerRequest : Payload {
  Hwnd requester = 0;  // the window that gets WM_WS_MANAGER_CREATED
};

// Makes a download manager window on the worker thread from a request; nullptr when it cannot.
// The worker thread owns the window from then on and frees it once it has been destroyed.
using ManagerFactory = std::function<std::unique_ptr<Window>(std::unique_ptr<ManagerRequest>)>;

// The network worker thread: its own platform loop with the hidden "WSAEventWindow", on which all
// sockets, lookups, HTTP transactions and download managers run. Thread messages:
// WM_WS_CREATE_MANAGER makes a download manager and answers the requester with its handle;
// WM_WS_END_THREAD ends the loop. When the thread is gone the process-wide end event is set.
class CWSThread {
 public:
  explicit CWSThread(Clock& clock = MonotonicClock::Instance());
  // Ends the thread if it still runs and waits for it.
  ~CWSThread();
  CWSThread(const CWSThread&) = delete;
  CWSThread& operator=(const CWSThread&) = delete;

  // Starts the thread and waits until its loop and hidden window exist. False when the socket
  // layer was not started, a hidden window exists already, or the thread could not be made.
  bool Start();
  // Posts WM_WS_END_THREAD and waits until the thread is gone. Nothing when it does not run.
  void Stop();
  // The worker's loop, for PostThreadMessage; 0 when it does not run.
  ThreadId Id() const { return thread_id_; }
  // The hidden window of the worker; 0 when it does not run.
  Hwnd EventWindow() const { return event_window_; }

  // Set when a worker thread has ended (and reset when one starts), for the main thread to wait on.
  static Event& EndEvent();
  // Who makes download managers; installed by the crawl engine before the first request.
  static void SetManagerFactory(ManagerFactory factory);

 private:
  void Main(std::promise<bool>* started);

  Clock& clock_;
  std::thread thread_;
  ThreadId thread_id_ = 0;
  Hwnd event_window_ = 0;
};

}  // namespace qlm
