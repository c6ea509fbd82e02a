#include "platform/MessageLoop.h"

#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/Window.h"
#include "platform/WindowTable.h"

namespace qlm {

namespace {
thread_local MessageLoop* current_loop = nullptr;
}  // namespace

MessageLoop::MessageLoop(Clock& clock)
    : queue_(std::make_shared<LoopQueue>(clock, WindowTable::Instance().NextThreadId(),
                                         static_cast<LoopWaker*>(this))),
      previous_current_(current_loop) {
  WindowTable::Instance().AddThread(queue_);
  current_loop = this;
}

MessageLoop::~MessageLoop() {
  Shutdown();
  if (current_loop == this) current_loop = previous_current_;
}

void MessageLoop::PostLater(std::shared_ptr<LoopQueue> queue, Message msg, bool wake) {
  auto it = later_.begin();
  while (it != later_.end() && it->queue != queue) ++it;
  if (it == later_.end()) {
    later_.push_back({std::move(queue), {}, false});
    it = later_.end() - 1;
    it->msgs.reserve(kPostsPerBatch);
  }
  it->msgs.push_back(std::move(msg));
  it->wake = it->wake || wake;
  if (it->msgs.size() >= kPostsPerBatch) {
    it->queue->PostAll(it->msgs, it->wake);
    later_.erase(it);
  }
}

void MessageLoop::FlushPosts() {
  // Taken out first: a payload freed by a closed loop must not find the list half handed over.
  std::vector<LaterPosts> later;
  later.swap(later_);
  for (LaterPosts& posts : later) posts.queue->PostAll(posts.msgs, posts.wake);
}

void MessageLoop::SetDeferPosts(bool on) {
  if (!on) FlushPosts();
  defer_posts_ = on;
}

void MessageLoop::Shutdown() {
  FlushPosts();
  WindowTable::Instance().RemoveThread(queue_->Id());
  queue_->Close();
}

MessageLoop* MessageLoop::Current() {
  return current_loop;
}

bool MessageLoop::DispatchOne() {
  Message msg;
  std::shared_ptr<SentReply> reply;
  if (queue_->TakeSent(&msg, &reply)) {
    AnswerSent(msg, reply);
    return true;
  }
  if (!queue_->TakePosted(&msg)) return false;
  Deliver(msg);
  return true;
}

void MessageLoop::ServeSentMessages() {
  Message msg;
  std::shared_ptr<SentReply> reply;
  while (queue_->TakeSent(&msg, &reply)) AnswerSent(msg, reply);
}

void MessageLoop::AnswerSent(Message& msg, const std::shared_ptr<SentReply>& reply) {
  LResult result = 0;
  const bool handled = Window::TryDeliver(msg, &result);
  LoopQueue::Complete(reply, result, handled);
}

void MessageLoop::Deliver(Message& msg) {
  if (msg.hwnd != 0) {
    // A timer set from another thread while its window was being destroyed outlives the window;
    // its first tick finds no one and ends it.
    if (msg.message == WM_TIMER && !IsWindow(msg.hwnd)) queue_->KillTimer(msg.hwnd, msg.wparam);
    Window::Deliver(msg);
  } else if (thread_handler_) {
    thread_handler_(msg);
  }
}

}  // namespace qlm
