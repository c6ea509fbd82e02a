#include "tests/net/HttpTestLoop.h"

#include <thread>

#include "net/WSStartup.h"

namespace qlm::test {

HttpTestLoop::HttpTestLoop() {
  WSStartup();
  valid_ = loop_.Valid() && window_.CreateHidden();
}

HttpTestLoop::~HttpTestLoop() {
  loop_.RunPending();
  window_.Destroy();
}

bool HttpTestLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (loop_.RunPending() == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

void HttpTestLoop::RunFor(std::chrono::milliseconds how_long) {
  RunUntil([] { return false; }, how_long);
}

void ProgressRecorder::OnProgress(CHttpRequest& request, int code) {
  progress.push_back(code);
  states.push_back(request.CurrentState());
  if (code == kProgressBody && pull) {
    char piece[1024];
    size_t n = request.ReadBody(piece, sizeof piece);
    pulled_body.append(piece, n);
  }
  if (hook) hook(request, code);
}

std::vector<int> Collapsed(const std::vector<int>& progress) {
  std::vector<int> out;
  for (int p : progress) {
    if (p == kProgressBody && !out.empty() && out.back() == kProgressBody) continue;
    out.push_back(p);
  }
  return out;
}

}  // namespace qlm::test
