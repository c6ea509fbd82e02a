#include "platform/Messaging.h"

#include "platform/MessageIds.h"
#include "platform/MessageLoop.h"
#include "platform/RemoteMessenger.h"
#include "platform/Window.h"
#include "platform/WindowDirectory.h"
#include "platform/WindowTable.h"

namespace qlm {

namespace {

Message MakeMessage(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam,
                    std::unique_ptr<Payload> payload) {
  Message msg;
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wparam = wparam;
  msg.lparam = lparam;
  msg.payload = std::move(payload);
  return msg;
}

// Sends within this process or to another program; true when a handler took the message.
bool SendAndTell(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam,
                 std::unique_ptr<Payload> payload, LResult* result) {
  *result = 0;
  if (hwnd == 0) return false;
  if (!WindowTable::IsLocal(hwnd)) {
    return !payload && RemoteMessenger::Send(hwnd, message, wparam, lparam, result);
  }
  std::shared_ptr<LoopQueue> target = WindowTable::Instance().QueueOf(hwnd);
  if (!target) return false;
  Message msg = MakeMessage(hwnd, message, wparam, lparam, std::move(payload));
  MessageLoop* own = MessageLoop::Current();
  if (own && own->Queue() == target) {
    return Window::TryDeliver(msg, result);
  }

  // Posts that wait for the end of the pass go first, and must not wait while this thread does.
  if (own) own->FlushPosts();
  // The reply is guarded by our own queue, so that a message sent to us wakes the wait as well.
  std::shared_ptr<LoopQueue> waiter =
      own ? own->Queue() : std::make_shared<LoopQueue>(target->GetClock(), 0, nullptr);
  std::shared_ptr<SentReply> reply = target->Send(std::move(msg), waiter);
  if (!reply) return false;
  while (!waiter->WaitForReplyOrSent(*reply)) {
    if (own) own->ServeSentMessages();
  }
  *result = reply->result;
  return reply->handled;
}

// Queues a message for a window; `quiet` leaves the receiving loop asleep (PostQuietMessage).
bool Post(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam,
          std::unique_ptr<Payload> payload, bool quiet) {
  if (hwnd == 0) return false;
  if (!WindowTable::IsLocal(hwnd)) {
    return !payload && RemoteMessenger::Post(hwnd, message, wparam, lparam);
  }
  std::shared_ptr<LoopQueue> queue = WindowTable::Instance().QueueOf(hwnd);
  if (!queue) return false;
  MessageLoop* own = MessageLoop::Current();
  if (own && own->DefersPosts() && own->Queue() != queue) {
    own->PostLater(std::move(queue), MakeMessage(hwnd, message, wparam, lparam, std::move(payload)),
                   !quiet);
    return true;
  }
  return queue->Post(MakeMessage(hwnd, message, wparam, lparam, std::move(payload)), !quiet);
}

}  // namespace

bool PostMessage(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam,
                 std::unique_ptr<Payload> payload) {
  return Post(hwnd, message, wparam, lparam, std::move(payload), false);
}

bool PostQuietMessage(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam,
                      std::unique_ptr<Payload> payload) {
  return Post(hwnd, message, wparam, lparam, std::move(payload), true);
}

LResult SendMessage(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam,
                    std::unique_ptr<Payload> payload) {
  LResult result = 0;
  SendAndTell(hwnd, message, wparam, lparam, std::move(payload), &result);
  return result;
}

bool TrySendMessage(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam, LResult* result) {
  return SendAndTell(hwnd, message, wparam, lparam, nullptr, result);
}

bool PostThreadMessage(ThreadId thread, unsigned message, WParam wparam, LParam lparam,
                       std::unique_ptr<Payload> payload) {
  // After the posts of this thread that wait for the end of its pass, as they were made before.
  if (MessageLoop* own = MessageLoop::Current()) own->FlushPosts();
  std::shared_ptr<LoopQueue> queue = WindowTable::Instance().QueueOfThread(thread);
  if (!queue) return false;
  if (message == WM_QUIT) {
    queue->PostQuit(static_cast<int>(wparam));
    return true;
  }
  return queue->Post(MakeMessage(0, message, wparam, lparam, std::move(payload)));
}

void PostQuitMessage(int exit_code) {
  if (MessageLoop* loop = MessageLoop::Current()) loop->Queue()->PostQuit(exit_code);
}

std::uint64_t SetTimer(Hwnd hwnd, std::uint64_t id, std::uint32_t elapse_ms) {
  if (id == 0) return 0;
  std::shared_ptr<LoopQueue> queue = WindowTable::Instance().QueueOf(hwnd);
  if (!queue || !queue->SetTimer(hwnd, id, elapse_ms)) return 0;
  return id;
}

bool KillTimer(Hwnd hwnd, std::uint64_t id) {
  std::shared_ptr<LoopQueue> queue = WindowTable::Instance().QueueOf(hwnd);
  return queue && queue->KillTimer(hwnd, id);
}

bool IsWindow(Hwnd hwnd) {
  if (hwnd == 0) return false;
  if (!WindowTable::IsLocal(hwnd)) return WindowDirectory::IsAlive(hwnd);
  return WindowTable::Instance().QueueOf(hwnd) != nullptr;
}

Hwnd FindWindow(const std::string& class_name, const std::string& title) {
  return WindowDirectory::Find(class_name, title);
}

ThreadId CurrentThreadLoopId() {
  MessageLoop* loop = MessageLoop::Current();
  return loop ? loop->Id() : 0;
}

}  // namespace qlm
