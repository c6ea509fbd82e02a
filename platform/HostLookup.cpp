#include "platform/HostLookup.h"

#include <mutex>
#include <thread>
#include <unordered_set>

#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/SystemHostResolver.h"
#include "platform/WinSockErrors.h"

namespace qlm {

namespace {

// The lookups under way. A lookup thread may outlive whoever started it (a name server that does
// not answer cannot be interrupted), so the service is never destroyed and each thread holds its
// resolver by shared_ptr; a cancelled lookup's thread just finishes and posts nothing.
class LookupService {
 public:
  static LookupService& Instance() {
    static LookupService* service = new LookupService;
    return *service;
  }

  LookupTask Start(Hwnd hwnd, unsigned message, const std::string& name, int* error) {
    std::shared_ptr<HostResolver> resolver;
    LookupTask task;
    {
      std::lock_guard lock(mutex_);
      task = next_task_++;
      pending_.insert(task);
      ++threads_running_;
      resolver = resolver_;
    }
    try {
      std::thread([this, task, hwnd, message, name, resolver] {
        Run(task, hwnd, message, name, *resolver);
      }).detach();
    } catch (const std::system_error&) {
      std::lock_guard lock(mutex_);
      pending_.erase(task);
      --threads_running_;
      *error = WSAENOBUFS;
      return 0;
    }
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

  std::size_t ThreadsRunning() {
    std::lock_guard lock(mutex_);
    return threads_running_;
  }

 private:
  LookupService() : resolver_(std::make_shared<SystemHostResolver>()) {}

  void Run(LookupTask task, Hwnd hwnd, unsigned message, const std::string& name,
           HostResolver& resolver) {
    auto entry = std::make_unique<HostEntry>();
    entry->name = name;
    const int error = resolver.Resolve(name, &entry->addresses);
    if (error != 0) entry->addresses.clear();
    std::lock_guard lock(mutex_);
    // Posted under the lock, so that a cancel either comes before (nothing is posted) or after
    // (it learns that the lookup had completed).
    if (pending_.erase(task) == 1) {
      PostMessage(hwnd, message, task, MakeLong(0, static_cast<unsigned>(error)), std::move(entry));
    }
    --threads_running_;
  }

  std::mutex mutex_;
  std::shared_ptr<HostResolver> resolver_;
  std::unordered_set<LookupTask> pending_;  // started, neither completed nor cancelled
  LookupTask next_task_ = 1;
  std::size_t threads_running_ = 0;
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
  return LookupService::Instance().ThreadsRunning();
}

}  // namespace qlm
