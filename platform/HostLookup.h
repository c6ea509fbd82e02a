#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/HostResolver.h"
#include "platform/Message.h"

namespace qlm {

// The answer of a host lookup, the payload of its completion message (the receiver owns it).
struct HostEntry final : Payload {
  std::string name;
  std::vector<std::uint32_t> addresses;  // IPv4, network byte order; empty after a failure
};

// Handle of a lookup under way: non-zero, never reused.
using LookupTask = std::uint64_t;

// Looks `name` up on a thread of a small pool and posts `message` to `hwnd` when done: wParam is
// the task, the high word of lParam the WinSock error (0 on success), the payload a HostEntry.
// Returns the task, or 0 with the error in `error` when the lookup could not be started.
LookupTask WsAsyncGetHostByName(Hwnd hwnd, unsigned message, const std::string& name, int* error);

// Cancels a lookup: its completion message is never posted. 0 when it was under way, WSAEALREADY
// when it had already completed (its message may still be waiting), WSAEINVAL for an unknown task.
int WsCancelAsyncRequest(LookupTask task);

// Replaces the resolver for lookups started from now on; nullptr restores the system's.
void WsSetHostResolver(std::shared_ptr<HostResolver> resolver);

// Lookups not yet done with by the pool (cancelled ones included), for tests that must not end
// while a lookup still runs.
std::size_t WsLookupThreadsRunning();
// The threads of the pool: they are made as lookups need them, up to a small bound, and kept.
std::size_t WsLookupThreads();

}  // namespace qlm
