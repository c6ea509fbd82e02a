#pragma once

#include <cstdint>
#include <memory>

#include "platform/Message.h"

namespace qlm {

// Queues a message for a window; any thread. False when there is no such window (its payload is
// freed then). The receiver owns the payload.
bool PostMessage(Hwnd hwnd, unsigned message, WParam wparam = 0, LParam lparam = 0,
                 std::unique_ptr<Payload> payload = nullptr);

// Calls the window's handler and returns its result. On the owning thread this is a direct call;
// from another thread the message is queued ahead of posted ones and the caller blocks until the
// owner has handled it, serving messages sent to its own loop meanwhile, so that two threads that
// send to each other do not deadlock. 0 when the window does not exist or its loop ends first.
LResult SendMessage(Hwnd hwnd, unsigned message, WParam wparam = 0, LParam lparam = 0,
                    std::unique_ptr<Payload> payload = nullptr);

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

bool IsWindow(Hwnd hwnd);
// The id of the calling thread's loop, 0 when it has none.
ThreadId CurrentThreadLoopId();

}  // namespace qlm
