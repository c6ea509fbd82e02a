#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/CHttpRequest.h"
#include "net/CStringBodySink.h"
#include "net/WSAEventWindow.h"
#include "platform/EventLoop.h"

namespace qlm::test {

// The socket layer on the test thread itself: a platform loop with the hidden socket window, so
// that a test can start a request, pump until a condition holds, and look at the request in any
// state. Every wait has a watchdog: a condition that never comes true fails after the timeout.
class HttpTestLoop {
 public:
  HttpTestLoop();
  ~HttpTestLoop();

  bool Valid() const { return valid_; }
  // Serves messages and sockets until done() or timeout; false on timeout.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Serves whatever arrives during how_long (to show that nothing more happens).
  void RunFor(std::chrono::milliseconds how_long);

 private:
  EventLoop loop_;
  WSAEventWindow window_;
  bool valid_ = false;
};

// Records what a request reports. Body bytes are taken 1024 at a time from inside kProgressBody
// (the pull way), unless the request has a body sink. A hook runs after each record.
class ProgressRecorder : public IHttpObserver {
 public:
  void OnProgress(CHttpRequest& request, int progress) override;

  std::vector<int> progress;
  std::vector<CHttpRequest::State> states;  // the state at each notice
  std::string pulled_body;
  bool pull = true;
  std::function<void(CHttpRequest&, int)> hook;
  bool Finished() const { return !progress.empty() && progress.back() == kProgressFinished; }
};

// Progress codes without the repeats of kProgressBody: each once, however many pieces the body
// came in.
std::vector<int> Collapsed(const std::vector<int>& progress);

}  // namespace qlm::test
