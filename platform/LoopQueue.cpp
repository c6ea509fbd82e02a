#include "platform/LoopQueue.h"

#include <algorithm>
#include <climits>

#include "platform/MessageIds.h"

namespace qlm {

LoopQueue::LoopQueue(Clock& clock, ThreadId id, LoopWaker* waker)
    : clock_(clock), id_(id), waker_(waker) {}

bool LoopQueue::Post(Message msg, bool wake) {
  std::unique_lock lock(mutex_);
  if (closed_) {
    lock.unlock();  // the payload is freed outside the lock
    return false;
  }
  posted_.push_back(Posted{std::move(msg), 0});
  if (wake && waker_) waker_->Wake();
  return true;
}

bool LoopQueue::PostAll(std::vector<Message>& msgs, bool wake) {
  std::unique_lock lock(mutex_);
  if (closed_) {
    lock.unlock();
    msgs.clear();  // the payloads are freed outside the lock
    return false;
  }
  for (Message& msg : msgs) posted_.push_back(Posted{std::move(msg), 0});
  if (wake && waker_) waker_->Wake();
  lock.unlock();
  msgs.clear();
  return true;
}

void LoopQueue::Wake() {
  std::lock_guard lock(mutex_);
  if (waker_) waker_->Wake();
}

void LoopQueue::PostQuit(int exit_code) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  quit_requested_ = true;
  quit_code_ = exit_code;
  if (waker_) waker_->Wake();
}

std::shared_ptr<SentReply> LoopQueue::Send(Message msg, std::shared_ptr<LoopQueue> waiter) {
  auto reply = std::make_shared<SentReply>();
  reply->waiter = std::move(waiter);
  std::unique_lock lock(mutex_);
  if (closed_) {
    lock.unlock();
    return nullptr;
  }
  sent_.push_back(Sent{std::move(msg), reply});
  if (waker_) waker_->Wake();
  // The loop may itself be waiting for an answer from another thread; it serves us meanwhile.
  signal_.notify_all();
  return reply;
}

void LoopQueue::Complete(const std::shared_ptr<SentReply>& reply, LResult result, bool handled) {
  LoopQueue& waiter = *reply->waiter;
  std::lock_guard lock(waiter.mutex_);
  reply->done = true;
  reply->handled = handled;
  reply->result = result;
  waiter.signal_.notify_all();
}

bool LoopQueue::WaitForReplyOrSent(const SentReply& reply) {
  std::unique_lock lock(mutex_);
  signal_.wait(lock, [&] { return reply.done || !sent_.empty(); });
  return reply.done;
}

bool LoopQueue::SetTimer(Hwnd hwnd, std::uint64_t id, std::uint32_t elapse_ms) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  TimerState& state = timers_[{hwnd, id}];
  if (state.waiting) --waiting_timers_;  // its waiting tick belongs to the old run: withdrawn
  state.elapse_ms = elapse_ms;
  state.generation = next_generation_++;
  state.waiting = false;
  PushDeadline(TimerEntry{clock_.NowMs() + elapse_ms, next_sequence_++, hwnd, id, state.generation});
  if (waker_) waker_->Wake();  // the earliest deadline may have moved closer
  return true;
}

bool LoopQueue::KillTimer(Hwnd hwnd, std::uint64_t id) {
  std::lock_guard lock(mutex_);
  auto it = timers_.find({hwnd, id});
  if (it == timers_.end()) return false;
  if (it->second.waiting) --waiting_timers_;
  timers_.erase(it);
  return true;
}

void LoopQueue::KillTimers(Hwnd hwnd) {
  std::lock_guard lock(mutex_);
  auto it = timers_.lower_bound({hwnd, 0});
  while (it != timers_.end() && it->first.first == hwnd) {
    if (it->second.waiting) --waiting_timers_;
    it = timers_.erase(it);
  }
}

std::size_t LoopQueue::KeptDeadlines() {
  std::lock_guard lock(mutex_);
  return heap_.size();
}

bool LoopQueue::IsLive(const TimerEntry& entry) const {
  auto it = timers_.find({entry.hwnd, entry.id});
  return it != timers_.end() && it->second.generation == entry.generation;
}

void LoopQueue::DropStaleHeapTop() {
  while (!heap_.empty() && !IsLive(HeapTop())) PopHeapTop();
}

void LoopQueue::PushDeadline(const TimerEntry& entry) {
  // Each live timer has one entry; when the stale ones are many more, they go all at once.
  if (heap_.size() >= 2 * timers_.size() + kStaleDeadlinesKept) {
    std::erase_if(heap_, [this](const TimerEntry& kept) { return !IsLive(kept); });
    std::make_heap(heap_.begin(), heap_.end(), std::greater<>());
  }
  heap_.push_back(entry);
  std::push_heap(heap_.begin(), heap_.end(), std::greater<>());
}

void LoopQueue::PopHeapTop() {
  std::pop_heap(heap_.begin(), heap_.end(), std::greater<>());
  heap_.pop_back();
}

void LoopQueue::QueueDueTimers() {
  std::lock_guard lock(mutex_);
  const std::int64_t now = clock_.NowMs();
  for (DropStaleHeapTop(); !heap_.empty() && HeapTop().deadline_ms <= now; DropStaleHeapTop()) {
    TimerEntry entry = HeapTop();
    PopHeapTop();
    TimerState& state = timers_[{entry.hwnd, entry.id}];
    if (!state.waiting) {
      // A timer that is due again while its tick still waits is not queued twice.
      Message tick;
      tick.hwnd = entry.hwnd;
      tick.message = WM_TIMER;
      tick.wparam = entry.id;
      posted_.push_back(Posted{std::move(tick), entry.generation});
      state.waiting = true;
      ++waiting_timers_;
    }
    // The next run counts from now, so a clock that jumps far ahead yields one tick, not a burst.
    entry.deadline_ms = now + std::max<std::uint32_t>(state.elapse_ms, 1);
    entry.sequence = next_sequence_++;
    PushDeadline(entry);
  }
}

std::int64_t LoopQueue::NextDeadline() {
  std::lock_guard lock(mutex_);
  DropStaleHeapTop();
  return heap_.empty() ? INT64_MAX : HeapTop().deadline_ms;
}

bool LoopQueue::TakeSent(Message* msg, std::shared_ptr<SentReply>* reply) {
  std::lock_guard lock(mutex_);
  if (sent_.empty()) return false;
  *msg = std::move(sent_.front().msg);
  *reply = std::move(sent_.front().reply);
  sent_.pop_front();
  return true;
}

bool LoopQueue::TakePosted(Message* msg) {
  std::unique_lock lock(mutex_);
  while (!posted_.empty()) {
    Posted item = std::move(posted_.front());
    posted_.pop_front();
    if (item.timer_generation != 0) {
      auto it = timers_.find({item.msg.hwnd, item.msg.wparam});
      if (it == timers_.end() || it->second.generation != item.timer_generation) continue;
      it->second.waiting = false;
      --waiting_timers_;
    }
    *msg = std::move(item.msg);
    return true;
  }
  return false;
}

bool LoopQueue::HasWaiting() {
  std::lock_guard lock(mutex_);
  return !posted_.empty() || !sent_.empty();
}

bool LoopQueue::HasWaitingTimer() {
  std::lock_guard lock(mutex_);
  return waiting_timers_ > 0;
}

bool LoopQueue::TakeQuit(int* exit_code) {
  std::lock_guard lock(mutex_);
  if (!quit_requested_ || !posted_.empty() || !sent_.empty()) return false;
  quit_requested_ = false;
  *exit_code = quit_code_;
  return true;
}

void LoopQueue::Close() {
  std::deque<Posted> dropped;
  std::deque<Sent> unanswered;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    waker_ = nullptr;
    dropped.swap(posted_);
    unanswered.swap(sent_);
    timers_.clear();
    heap_.clear();
    waiting_timers_ = 0;
  }
  for (Sent& sent : unanswered) Complete(sent.reply, 0, false);
  // `dropped` frees the payloads of messages that will never be delivered.
}

}  // namespace qlm
