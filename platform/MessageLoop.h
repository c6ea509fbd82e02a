#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Clock.h"
#include "platform/LoopQueue.h"
#include "platform/Message.h"

namespace qlm {

class Poller;

// One thread's message loop, as windows see it: the queue their messages wait in, their timers,
// and the delivery of one message at a time on the owning thread. How the thread waits for work is
// left to the driver: EventLoop is the platform's own (epoll, idle work, run until quit); a GUI
// toolkit's loop drives the same queue through Wake() and DispatchOne(), so windows owned by either
// kind of loop take the same posts.
//
// A loop belongs to the thread that constructs it (one per thread) and is used there only, except
// for posting, which goes through its queue from any thread.
class MessageLoop : private LoopWaker {
 public:
  explicit MessageLoop(Clock& clock);
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The loop of the calling thread, or nullptr.
  static MessageLoop* Current();

  ThreadId Id() const { return queue_->Id(); }
  Clock& GetClock() const { return queue_->GetClock(); }
  const std::shared_ptr<LoopQueue>& Queue() const { return queue_; }

  // Delivers one waiting message: one sent from another thread first, else the oldest posted one
  // (due timers wait among the posted messages in the order they came due). False when none waits.
  bool DispatchOne();
  // Reads the clock once and turns every due timer into a waiting WM_TIMER.
  void QueueDueTimers() { queue_->QueueDueTimers(); }
  // Deadline of the earliest timer on the loop's clock, INT64_MAX when none runs.
  std::int64_t NextTimerDeadline() { return queue_->NextDeadline(); }
  bool HasWaitingMessages() { return queue_->HasWaiting(); }
  bool HasWaitingTimerMessage() { return queue_->HasWaitingTimer(); }
  // True once after a quit request, when nothing else waits; `exit_code` is the request's code.
  bool TakeQuit(int* exit_code) { return queue_->TakeQuit(exit_code); }

  // Receives the messages posted to the thread rather than to a window (PostThreadMessage).
  void SetThreadMessageHandler(std::function<void(Message&)> handler) {
    thread_handler_ = std::move(handler);
  }

  // The readiness back end for sockets owned by this loop's thread; nullptr when the loop has none.
  // Published windows (Window::Publish) need one: a toolkit's loop can provide an EpollPoller
  // whose descriptor it watches (EpollPoller::Fd).
  virtual Poller* GetPoller() { return nullptr; }
  virtual std::shared_ptr<Poller> SharePoller() { return nullptr; }

  // Delivers a message sent from another thread to this loop's windows while the calling thread
  // itself waits for an answer from elsewhere; used by SendMessage.
  void ServeSentMessages();

  // While a driver defers posts (EventLoop::Run does), a post from this thread to another loop
  // waits here and is handed over, with the others for that loop, under one lock and with one
  // wake-up when the driver's pass is over, or at once when kPostsPerBatch wait for that loop. A
  // busy thread that posts many messages (the network worker's status messages) then takes the
  // receiving loop's lock, and wakes it, once for a batch of posts instead of for each, which
  // also spares it from waiting for that lock while the receiver takes its messages; and a batch
  // is short enough that the receiver still answers (a stop request, say) within a few of the
  // poster's steps. Posts to one loop keep their order; a send from this thread hands the waiting
  // posts over first.
  static constexpr std::size_t kPostsPerBatch = 16;
  bool DefersPosts() const { return defer_posts_; }
  void PostLater(std::shared_ptr<LoopQueue> queue, Message msg, bool wake);
  // Hands over the posts from this thread that wait for the end of the pass.
  void FlushPosts();

 protected:
  // Called from any thread, with the queue locked, whenever something arrives or a timer was set:
  // the driver must run DispatchOne/QueueDueTimers on the owning thread soon. Must not block.
  void Wake() override = 0;
  // Derived destructors call this first, so that no Wake() reaches a half-destroyed loop.
  void Shutdown();
  void SetDeferPosts(bool on);

 private:
  void Deliver(Message& msg);
  void AnswerSent(Message& msg, const std::shared_ptr<SentReply>& reply);

  std::shared_ptr<LoopQueue> queue_;
  std::function<void(Message&)> thread_handler_;
  MessageLoop* previous_current_;  // restored when this loop ends (loops may nest in tests)
  bool defer_posts_ = false;
  struct LaterPosts {
    std::shared_ptr<LoopQueue> queue;
    std::vector<Message> msgs;
    bool wake = false;  // one of them is not quiet
  };
  std::vector<LaterPosts> later_;  // each loop once
};

}  // namespace qlm
