#pragma once

#include <chrono>
#include <functional>

#include "platform/EventLoop.h"

namespace qlm::test {

// Serves `loop` (waiting for I/O a little at a time) until `done` holds; false after `limit` of
// real time. For tests whose condition comes true through sockets or other threads.
bool PumpUntil(EventLoop& loop, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// Serves `loop` for `how_long` of real time, to see that nothing (more) arrives.
void PumpFor(EventLoop& loop, std::chrono::milliseconds how_long);

}  // namespace qlm::test
