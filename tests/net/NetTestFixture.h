#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/CConnMgr.h"
#include "net/CWSSocket.h"
#include "net/WSAEventWindow.h"
#include "net/WSEventRegistry.h"
#include "net/WSStartup.h"
#include "platform/AsyncSocket.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/Watchdog.h"

namespace qlm::test {

// The test thread plays the network worker: a platform loop on a manual clock with the hidden
// window. At the end nothing may be left registered and no socket open.
class NetTest : public testing::Test {
 protected:
  NetTest() : loop_(clock_), watchdog_(std::chrono::seconds(30), loop_.Id()) {
    WSStartup();
    EXPECT_TRUE(window_.CreateHidden());
  }
  ~NetTest() override {
    window_.Destroy();
    EXPECT_EQ(WSEventRegistry::Instance().Size(), 0u) << "registrations left behind";
    EXPECT_EQ(WsOpenSocketCount(), 0u) << "sockets left open";
  }

  // Pumps the loop until `done` holds; a failure after 10 s of real time.
  bool RunUntil(const std::function<bool()>& done) {
    const bool reached = PumpUntil(loop_, done);
    EXPECT_TRUE(reached) << "condition not reached";
    return reached;
  }
  // Pumps for a little real time, to see that nothing (more) arrives.
  void Settle(int ms = 50) { PumpFor(loop_, std::chrono::milliseconds(ms)); }

  ManualClock clock_;
  EventLoop loop_;
  Watchdog watchdog_;
  WSAEventWindow window_;
};

// Records the notices of a socket; an optional action runs after each one is recorded.
class RecordingSink : public ISocketSink {
 public:
  struct Notice {
    std::uint32_t cookie;
    int notice;
    int error;
    const void* extra;
  };
  void OnSocketEvent(std::uint32_t cookie, int notice, int error, const void* extra) override {
    notices.push_back(Notice{cookie, notice, error, extra});
    if (action) action(notices.back());
  }
  int Count(int notice) const {
    int n = 0;
    for (const auto& seen : notices) n += seen.notice == notice;
    return n;
  }
  std::vector<Notice> notices;
  std::function<void(const Notice&)> action;
};

// Records connect notices with the manager's state at the time; an optional action runs after.
class RecordingOwner : public IConnectOwner {
 public:
  void OnConnectNotice(std::uint32_t cookie, int status) override {
    cookies.push_back(cookie);
    statuses.push_back(status);
    if (action) action(status);
  }
  std::vector<std::uint32_t> cookies;
  std::vector<int> statuses;
  std::function<void(int)> action;
};

}  // namespace qlm::test
