#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/Message.h"

namespace qlm {

// The loop side of a LoopQueue: told whenever something arrives that the loop should look at.
class LoopWaker {
 public:
  virtual ~LoopWaker() = default;
  // Called from any thread with the queue's lock held: must not block or enter the runtime.
  virtual void Wake() = 0;
};

class LoopQueue;

// Where a thread that sent a message to another thread waits for the answer. `done` and `result`
// are guarded by the mutex of `waiter`, the queue of the sending thread (or a private one).
struct SentReply {
  bool done = false;
  bool handled = false;  // a window's handler produced `result` (not: window gone, loop ended)
  LResult result = 0;
  std::shared_ptr<LoopQueue> waiter;
};

// Everything a thread's message loop receives, shared between the loop and the threads that post
// to it: posted messages in order, messages sent from other threads, the quit request and the
// timers. Posting threads hold it by shared_ptr, so a post that races with the loop's end is
// refused instead of touching freed memory. All members are guarded by `mutex_`.
class LoopQueue {
 public:
  // `waker` may be null for a queue that is only a place to wait for replies.
  LoopQueue(Clock& clock, ThreadId id, LoopWaker* waker);
  LoopQueue(const LoopQueue&) = delete;
  LoopQueue& operator=(const LoopQueue&) = delete;

  ThreadId Id() const { return id_; }
  Clock& GetClock() const { return clock_; }

  // Any thread. False when the loop has ended (the message and its payload are dropped). With
  // `wake` false the loop is not woken for it: the poster must call Wake() later.
  bool Post(Message msg, bool wake = true);
  // Any thread: posts `msgs` in their order under one lock (they are moved from and the vector is
  // left empty). False when the loop has ended (they are dropped).
  bool PostAll(std::vector<Message>& msgs, bool wake);
  // Any thread: tells the loop that something waits (nothing once it has ended).
  void Wake();
  void PostQuit(int exit_code);
  // Any other thread: queues `msg` for the loop and returns where the answer will be, or nullptr
  // when the loop has ended. `waiter` is the queue whose mutex and signal guard the reply.
  std::shared_ptr<SentReply> Send(Message msg, std::shared_ptr<LoopQueue> waiter);
  // Completes a reply and wakes the thread waiting for it.
  static void Complete(const std::shared_ptr<SentReply>& reply, LResult result, bool handled);
  // Blocks the sending thread until `reply` is done or a message sent to this queue waits;
  // returns whether the reply is done.
  bool WaitForReplyOrSent(const SentReply& reply);

  // Timers. A timer is keyed by (window, id); setting it again restarts it. Killing it, or setting
  // it again, also withdraws a WM_TIMER of it that is still waiting, so no late tick arrives.
  bool SetTimer(Hwnd hwnd, std::uint64_t id, std::uint32_t elapse_ms);
  bool KillTimer(Hwnd hwnd, std::uint64_t id);
  void KillTimers(Hwnd hwnd);
  // Deadlines kept for the timers, live and stale (of timers killed or restarted since), for tests
  // that check that timers restarted many times leave little behind.
  std::size_t KeptDeadlines();

  // Owning thread only.
  // Reads the clock once and queues a WM_TIMER for every timer that is due and has none waiting.
  void QueueDueTimers();
  // Deadline of the earliest live timer, or INT64_MAX when none runs.
  std::int64_t NextDeadline();
  bool TakeSent(Message* msg, std::shared_ptr<SentReply>* reply);
  // The oldest posted message; a WM_TIMER whose timer was killed or restarted is skipped.
  bool TakePosted(Message* msg);
  bool HasWaiting();
  bool HasWaitingTimer();
  // True (once) when a quit was requested and nothing else waits.
  bool TakeQuit(int* exit_code);

  // The loop has ended: refuse further posts, drop what waits, answer waiting senders with 0.
  void Close();

 private:
  struct Posted {
    Message msg;
    std::uint64_t timer_generation = 0;  // non-zero for WM_TIMER: the timer run it belongs to
  };
  struct Sent {
    Message msg;
    std::shared_ptr<SentReply> reply;
  };
  struct TimerState {
    std::uint32_t elapse_ms = 0;
    std::uint64_t generation = 0;  // changes with every SetTimer; heap entries of others are stale
    bool waiting = false;          // a WM_TIMER of this run is in posted_
  };
  struct TimerEntry {
    std::int64_t deadline_ms;
    std::uint64_t sequence;  // equal deadlines fire in the order they were set
    Hwnd hwnd;
    std::uint64_t id;
    std::uint64_t generation;
    bool operator>(const TimerEntry& other) const {
      return std::pair(deadline_ms, sequence) > std::pair(other.deadline_ms, other.sequence);
    }
  };
  using TimerKey = std::pair<Hwnd, std::uint64_t>;
  static constexpr std::size_t kStaleDeadlinesKept = 64;

  bool IsLive(const TimerEntry& entry) const;  // its timer runs and was not restarted since
  void DropStaleHeapTop();                     // pops heap entries whose timer is gone or restarted
  void PushDeadline(const TimerEntry& entry);
  const TimerEntry& HeapTop() const { return heap_.front(); }
  void PopHeapTop();

  Clock& clock_;
  const ThreadId id_;
  std::mutex mutex_;
  std::condition_variable signal_;  // a reply completed, or a sent message arrived
  LoopWaker* waker_;                // null once closed
  bool closed_ = false;
  std::deque<Posted> posted_;
  std::deque<Sent> sent_;
  bool quit_requested_ = false;
  int quit_code_ = 0;
  std::map<TimerKey, TimerState> timers_;
  // A min-heap of deadlines (std::greater). A timer that is killed or restarted leaves its entry
  // until the entry comes to the top, or until stale entries are most of the heap: a timer
  // restarted for every step of a download would otherwise leave thousands in a minute.
  std::vector<TimerEntry> heap_;
  std::uint64_t next_sequence_ = 1;
  std::uint64_t next_generation_ = 1;
  std::size_t waiting_timers_ = 0;  // live WM_TIMER messages in posted_
};

}  // namespace qlm
