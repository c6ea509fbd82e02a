#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Message.h"

namespace qlm {

// Any of these may name a window of another program (a published one, Window::Publish); then only
// wParam and a plain lParam travel (a message with a payload is refused), and a send is a blocking
// round trip through that window's socket (RemoteMessenger).

// Queues a message for a window; any thread. False when there is no such window (its payload is
// freed then). The receiver owns the payload.
bool PostMessage(Hwnd hwnd, unsigned message, WParam wparam = 0, LParam lparam = 0,
                 std::unique_ptr<Payload> payload = nullptr);

// PostMessage that does not wake the receiving loop: the message waits for the loop's next wakeup
// (another message, a timer, a socket) and is then handled in its turn. For frequent notices to a
// loop that looks at its queue on a timer of its own, which would otherwise be woken for each.
// To another program it is an ordinary post.
bool PostQuietMessage(Hwnd hwnd, unsigned message, WParam wparam = 0, LParam lparam = 0,
                      std::unique_ptr<Payload> payload = nullptr);

// Calls the window's handler and returns its result. On the owning thread this is a direct call;
// from another thread the message is queued ahead of posted ones and the caller blocks until the
// owner has handled it, serving messages sent to its own loop meanwhile, so that two threads that
// send to each other do not deadlock. 0 when the window does not exist or its loop ends first.
LResult SendMessage(Hwnd hwnd, unsigned message, WParam wparam = 0, LParam lparam = 0,
                    std::unique_ptr<Payload> payload = nullptr);

// SendMessage that tells whether the message was handled: false when there was no such window or
// it went away (or its loop or program ended) before answering. `*result` gets the handler's
// result, or 0.
bool TrySendMessage(Hwnd hwnd, unsigned message, WParam wparam, LParam lparam, LResult* result);

// A window that other programs can find: a published window (Window::Publish) of any program of
// this user, this one included, whose class and title are these. An empty class or title matches
// any. Only live windows are found; the entries of programs that ended are cleared away. 0 when
// there is none.
Hwnd FindWindow(const std::string& class_name, const std::string& title);

// Queues a message for a thread's loop rather than a window; WM_QUIT asks the loop to end with
// `wparam` as its exit code. False when the thread has no loop (any more).
bool PostThreadMessage(ThreadId thread, unsigned message, WParam wparam = 0, LParam lparam = 0,
                       std::unique_ptr<Payload> payload = nullptr);

// Asks the calling thread's loop to end once nothing else waits. Nothing when it has no loop.
void PostQuitMessage(int exit_code);

// Starts (or restarts) timer `id` of a window: WM_TIMER with wParam `id` after `elapse_ms`
// milliseconds on the loop's clock, and again every `elapse_ms` until killed. Returns `id`, or 0
// when the window does not exist or `id` is 0.
std::uint64_t SetTimer(Hwnd hwnd, std::uint64_t id, std::uint32_t elapse_ms);
// Stops a timer; a WM_TIMER of it that waits is withdrawn. False when it was not running.
bool KillTimer(Hwnd hwnd, std::uint64_t id);

// Whether the handle names a live window: one of this process, or a published one of another.
bool IsWindow(Hwnd hwnd);
// The id of the calling thread's loop, 0 when it has none.
ThreadId CurrentThreadLoopId();

}  // namespace qlm
