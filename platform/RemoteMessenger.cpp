#include "platform/RemoteMessenger.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/WindowDirectory.h"
#include "platform/WindowFrame.h"

namespace qlm {

namespace {

// Open connections for posts, one per target window, newest last. Beyond this many the oldest is
// closed; a later post to it simply connects again.
constexpr size_t kMaxPostConnections = 16;
// How often a sending thread with a loop looks at messages sent to it while it waits, in ms.
constexpr int kServeIntervalMs = 10;
// How long a post waits for room when the target has not read its earlier posts yet, in ms. A live
// program makes room within this; a hung one costs each post this much, then the post fails.
constexpr int kFullWaitMs = 1000;

// Writes one frame on a non-blocking connection, waiting up to kFullWaitMs for room; errno tells
// why when it fails.
bool SendFrame(int fd, const WindowFrame& frame) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFullWaitMs);
  for (;;) {
    if (send(fd, &frame, sizeof frame, MSG_DONTWAIT | MSG_NOSIGNAL) ==
        static_cast<ssize_t>(sizeof frame)) {
      return true;
    }
    if (errno != EAGAIN && errno != EINTR) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd room{fd, POLLOUT, 0};
    if (left.count() <= 0 || poll(&room, 1, static_cast<int>(left.count())) == 0) {
      errno = EAGAIN;
      return false;
    }
  }
}

class PostConnections {
 public:
  static PostConnections& Instance() {
    static PostConnections* connections = new PostConnections;  // outlives late posts at exit
    return *connections;
  }

  bool Post(const WindowFrame& frame) {
    std::lock_guard lock(mutex_);
    for (int attempt = 0; attempt < 2; ++attempt) {
      bool reused = false;
      int fd = Take(frame.hwnd);
      if (fd >= 0) {
        reused = true;
      } else if ((fd = WindowDirectory::Connect(frame.hwnd, true)) < 0) {
        return false;
      }
      if (SendFrame(fd, frame)) {
        Keep(frame.hwnd, fd);
        return true;
      }
      const int error = errno;
      close(fd);
      // A kept connection may have been closed by a program that ended or by a window that was
      // destroyed; one fresh connection tells which. A full buffer is no reason to retry.
      if (!reused || error == EAGAIN) return false;
    }
    return false;
  }

 private:
  int Take(Hwnd hwnd) {
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (it->first == hwnd) {
        const int fd = it->second;
        open_.erase(it);
        return fd;
      }
    }
    return -1;
  }
  void Keep(Hwnd hwnd, int fd) {
    if (open_.size() >= kMaxPostConnections) {
      close(open_.front().second);
      open_.erase(open_.begin());
    }
    open_.emplace_back(hwnd, fd);
  }

  std::mutex mutex_;
  std::vector<std::pair<Hwnd, int>> open_;  // guarded by mutex_
};

WindowFrame MakeFrame(WindowFrame::Kind kind, Hwnd hwnd, unsigned message, WParam wparam,
                      LParam lparam) {
  WindowFrame frame;
  frame.kind = kind;
  frame.message = message;
  frame.hwnd = hwnd;
  frame.wparam = wparam;
  frame.lparam = lparam;
  return frame;
}

}  // namespace

bool RemoteMessenger::Post(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam) {
  return PostConnections::Instance().Post(
      MakeFrame(WindowFrame::kPost, hwnd, message, wparam, lparam));
}

bool RemoteMessenger::Send(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam,
                           LResult* result) {
  const int fd = WindowDirectory::Connect(hwnd, false);
  if (fd < 0) return false;
  const WindowFrame frame = MakeFrame(WindowFrame::kSend, hwnd, message, wparam, lparam);
  bool answered = false;
  if (send(fd, &frame, sizeof frame, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof frame)) {
    MessageLoop* own = MessageLoop::Current();
    for (;;) {
      pollfd ready{fd, POLLIN, 0};
      const int n = poll(&ready, 1, own ? kServeIntervalMs : -1);
      if (n < 0 && errno != EINTR) break;
      if (n > 0) {
        WindowFrame reply;
        const ssize_t got = recv(fd, &reply, sizeof reply, 0);
        answered = got == static_cast<ssize_t>(sizeof reply) && reply.kind == WindowFrame::kReply;
        if (answered) *result = reply.lparam;
        break;  // an answer, or the end of the connection: the window went away unanswered
      }
      if (own) own->ServeSentMessages();
    }
  }
  close(fd);
  return answered;
}

}  // namespace qlm
