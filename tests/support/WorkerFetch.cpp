#include "tests/support/WorkerFetch.h"

#include <future>
#include <memory>

#include "net/CFileBodySink.h"
#include "net/CHttpRequest.h"
#include "net/WSMessages.h"
#include "net/WSStartup.h"
#include "platform/Messaging.h"

namespace qlm::test {

namespace {

struct FetchJob : ManagerRequest {
  std::string host;
  uint16_t port = 0;
  std::string target;
  std::string body_file;
  std::promise<WorkerFetchResult> done;
};

constexpr unsigned kStartFetch = WM_USER + 100;
constexpr unsigned kEndFetch = WM_USER + 101;

// A window on the worker thread that runs one fetch, as a download object does.
class FetchWindow : public Window, private IHttpObserver {
 public:
  explicit FetchWindow(std::unique_ptr<FetchJob> job) : job_(std::move(job)), request_(this) {}

 protected:
  LResult WindowProc(Message& msg) override {
    if (msg.message == kStartFetch) {
      sink_.Create(job_->body_file, /*exclusive=*/true);
      request_.SetBodySink(&sink_);
      request_.SetHeader(kHeaderUserAgent, "Quillmere/1.009.0");
      request_.Get(job_->host, job_->port, job_->target);
    } else if (msg.message == kEndFetch) {
      Destroy();
    }
    return 0;
  }

 private:
  void OnProgress(CHttpRequest& request, int progress) override {
    auto& seen = result_.progress;
    if (progress != kProgressBody || seen.empty() || seen.back() != kProgressBody) {
      seen.push_back(progress);
    }
    if (progress != kProgressFinished) return;
    sink_.Close();
    result_.finished = true;
    result_.result = request.ResultCode();
    result_.status = request.StatusCode();
    result_.body_received = request.BodyReceived();
    result_.sink_error = sink_.LastError();
    job_->done.set_value(result_);
    // The window goes once the request has returned from this notice.
    PostMessage(Handle(), kEndFetch);
  }

  std::unique_ptr<FetchJob> job_;
  CHttpRequest request_;
  CFileBodySink sink_;
  WorkerFetchResult result_;
};

std::unique_ptr<Window> MakeFetchWindow(std::unique_ptr<ManagerRequest> request) {
  auto* job = dynamic_cast<FetchJob*>(request.get());
  if (job == nullptr) return nullptr;
  request.release();
  auto window = std::make_unique<FetchWindow>(std::unique_ptr<FetchJob>(job));
  if (!window->Create("FetchWindow")) return nullptr;
  PostMessage(window->Handle(), kStartFetch);
  return window;
}

}  // namespace

WorkerFetcher::WorkerFetcher() {
  WSStartup();
  CWSThread::SetManagerFactory(MakeFetchWindow);
  started_ = worker_.Start();
}

WorkerFetcher::~WorkerFetcher() {
  worker_.Stop();
  CWSThread::SetManagerFactory(nullptr);
}

WorkerFetchResult WorkerFetcher::Fetch(const std::string& host, uint16_t port,
                                       const std::string& target, const std::string& body_file,
                                       std::chrono::milliseconds timeout) {
  if (!started_) return {};
  auto job = std::make_unique<FetchJob>();
  job->host = host;
  job->port = port;
  job->target = target;
  job->body_file = body_file;
  std::future<WorkerFetchResult> done = job->done.get_future();
  if (!PostThreadMessage(worker_.Id(), WM_WS_CREATE_MANAGER, 0, 0, std::move(job))) return {};
  if (done.wait_for(timeout) != std::future_status::ready) return {};
  return done.get();
}

}  // namespace qlm::test
