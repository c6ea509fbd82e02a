#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/ThreadPriority.h"

namespace qlm {

// Things that are costly to make (files, sockets) made ahead by a thread of their own, for a busy
// thread that would otherwise make each one when it needs it. The thread keeps `kept` ready and is
// woken only when half of them are gone: a wakeup per thing would cost about as much as the thing.
// `make` makes one (kMade), passes a try over (kSkip), or fails (kFailed), after which no more are
// made and the takers make their own; `discard` disposes of those not taken when the object goes;
// `begin_fill`, when given, is called on the making thread before each round of making, which makes
// what was missing when it began (the first all `kept`, each later one at least half).
template <class T>
class MadeAhead {
 public:
  enum class Outcome { kMade, kSkip, kFailed };
  using Make = std::function<Outcome(T&)>;
  using Discard = std::function<void(T&)>;
  using BeginFill = std::function<void()>;

  // The thread starts making at once.
  MadeAhead(std::size_t kept, Make make, Discard discard, BeginFill begin_fill = {})
      : kept_(kept),
        make_(std::move(make)),
        discard_(std::move(discard)),
        begin_fill_(std::move(begin_fill)),
        thread_([this] { Run(); }) {}

  ~MadeAhead() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
    for (T& left : ready_) discard_(left);
  }

  MadeAhead(const MadeAhead&) = delete;
  MadeAhead& operator=(const MadeAhead&) = delete;

  // A made thing, now the caller's, or nullopt when none is ready.
  std::optional<T> Take() {
    std::lock_guard lock(mutex_);
    std::optional<T> taken;
    if (!ready_.empty()) {
      taken = std::move(ready_.front());
      ready_.pop_front();
    }
    if (!asked_ && !failed_ && ready_.size() <= kept_ / 2) {
      asked_ = true;
      wake_.notify_one();
    }
    return taken;
  }

  std::size_t Ready() {
    std::lock_guard lock(mutex_);
    return ready_.size();
  }

 private:
  void Run() {
    LowerThreadPriority();  // it works ahead of the taker, on time the taker leaves
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return quit_ || asked_; });
      if (quit_) return;
      if (begin_fill_) {
        lock.unlock();
        begin_fill_();
        lock.lock();
      }
      // A round makes what was missing when it began, however fast they are taken meanwhile, so
      // that `begin_fill` is called again after at most `kept` things.
      for (std::size_t missing = kept_ - ready_.size(); !quit_ && missing > 0;) {
        lock.unlock();
        T made{};
        const Outcome outcome = make_(made);
        lock.lock();
        if (outcome == Outcome::kSkip) continue;
        if (outcome == Outcome::kFailed) {
          failed_ = true;
          return;
        }
        ready_.push_back(std::move(made));
        --missing;
      }
      // Takes during the round did not ask again: the thread asks itself when they left few.
      asked_ = ready_.size() <= kept_ / 2;
    }
  }

  const std::size_t kept_;
  const Make make_;
  const Discard discard_;
  const BeginFill begin_fill_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<T> ready_;
  bool asked_ = true;  // the thread is to fill up
  bool failed_ = false;
  bool quit_ = false;
  std::thread thread_;  // last: it starts on the members above
};

}  // namespace qlm
