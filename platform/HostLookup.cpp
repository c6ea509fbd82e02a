#include "platform/HostLookup.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/SystemHostResolver.h"
#include "platform/WinSockErrors.h"

namespace qlm {

namespace {

// The lookups under way, carried out by a few threads of a pool: getaddrinfo blocks, and a page
// full of hosts must not start a thread for each. A lookup thread may outlive whoever started the
// lookup (a name server that does not answer cannot be interrupted), so the service is never
// destroyed and each lookup holds its resolver by shared_ptr; a lookup cancelled before a thread
// took it is never asked, and one cancelled while it runs posts nothing.
class LookupService {
 public:
  // Lookups that run at the same time, at most; more wait for a free thread.
  static constexpr std::size_t kThreads = 8;

  static LookupService& Instance() {
    static LookupService* service = new LookupService;
    return *service;
  }

  LookupTask Start(Hwnd hwnd, unsigned message, const std::string& name, int* error) {
    std::lock_guard lock(mutex_);
    if (idle_ == 0 && threads_ < kThreads) {
      try {
        std::thread([this] { Serve(); }).detach();
        ++threads_;
        ++idle_;
      } catch (const std::system_error&) {
        if (threads_ == 0) {
          *error = WSAENOBUFS;
          return 0;
        }
      }
    }
    const LookupTask task = next_task_++;
    pending_.insert(task);
    queue_.push_back(Job{task, hwnd, message, name, resolver_});
    ++unfinished_;
    wake_.notify_one();
    *error = 0;
    return task;
  }

  int Cancel(LookupTask task) {
    std::lock_guard lock(mutex_);
    if (pending_.erase(task) == 1) return 0;
    return task != 0 && task < next_task_ ? WSAEALREADY : WSAEINVAL;
  }

  void SetResolver(std::shared_ptr<HostResolver> resolver) {
    std::lock_guard lock(mutex_);
    resolver_ = resolver ? std::move(resolver) : std::make_shared<SystemHostResolver>();
  }

  std::size_t Unfinished() {
    std::lock_guard lock(mutex_);
    return unfinished_;
  }

  std::size_t Threads() {
    std::lock_guard lock(mutex_);
    return threads_;
  }

 private:
  struct Job {
    LookupTask task;
    Hwnd hwnd;
    unsigned message;
    std::string name;
    std::shared_ptr<HostResolver> resolver;
  };

  LookupService() : resolver_(std::make_shared<SystemHostResolver>()) {}

  void Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return !queue_.empty(); });
      Job job = std::move(queue_.front());
      queue_.pop_front();
      --idle_;
      if (pending_.contains(job.task)) {
        lock.unlock();
        Run(job);
        lock.lock();
      }
      --unfinished_;
      ++idle_;
    }
  }

  // Called without the lock; posts with it.
  void Run(Job& job) {
    auto entry = std::make_unique<HostEntry>();
    entry->name = job.name;
    const int error = job.resolver->Resolve(job.name, &entry->addresses);
    if (error != 0) entry->addresses.clear();
    std::lock_guard lock(mutex_);
    // Posted under the lock, so that a cancel either comes before (nothing is posted) or after
    // (it learns that the lookup had completed).
    if (pending_.erase(job.task) == 1) {
      PostMessage(job.hwnd, job.message, job.task, MakeLong(0, static_cast<unsigned>(error)),
                  std::move(entry));
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::shared_ptr<HostResolver> resolver_;
  std::unordered_set<LookupTask> pending_;  // started, neither completed nor cancelled
  std::deque<Job> queue_;                   // started, not yet taken by a thread
  LookupTask next_task_ = 1;
  std::size_t unfinished_ = 0;  // started and not yet done with by a thread (cancelled ones too)
  std::size_t threads_ = 0;     // threads of the pool; they never end
  std::size_t idle_ = 0;        // threads waiting for a lookup
};

}  // namespace

LookupTask WsAsyncGetHostByName(Hwnd hwnd, unsigned message, const std::string& name, int* error) {
  if (!IsWindow(hwnd)) {
    *error = WSAEINVAL;
    return 0;
  }
  return LookupService::Instance().Start(hwnd, message, name, error);
}

int WsCancelAsyncRequest(LookupTask task) {
  return LookupService::Instance().Cancel(task);
}

void WsSetHostResolver(std::shared_ptr<HostResolver> resolver) {
  LookupService::Instance().SetResolver(std::move(resolver));
}

std::size_t WsLookupThreadsRunning() {
  return LookupService::Instance().Unfinished();
}

std::size_t WsLookupThreads() {
  return LookupService::Instance().Threads();
}

}  // namespace qlm
