// The asynchronous select on epoll, seen from a window: which events come, how often, and when.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/AsyncSocket.h"
#include "platform/DeferredClose.h"
#include "platform/EventLoop.h"
#include "platform/MessageIds.h"
#include "platform/WinSockErrors.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

constexpr unsigned kSocketMessage = WM_USER + 6;

sockaddr_in Loopback(std::uint16_t port_network_order) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = port_network_order;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A listening socket and a connecting one, both selected on the same window; the test reads the
// notices the window gets.
class AsyncSocketTest : public testing::Test {
 protected:
  struct Notice {
    SocketHandle socket;
    long event;
    int error;
    bool operator==(const Notice&) const = default;
  };

  AsyncSocketTest() : watchdog_(std::chrono::seconds(20), loop_.Id()) {
    window_.SetHandler([this](Message& msg) {
      if (msg.message == kSocketMessage) {
        notices_.push_back(Notice{msg.wparam, static_cast<long>(LoWord(msg.lparam)),
                                  static_cast<int>(HiWord(msg.lparam))});
      }
      return 0;
    });
    window_.Create();
  }
  ~AsyncSocketTest() override {
    for (SocketHandle s : {client_, server_side_, listener_}) {
      if (s != kInvalidSocket) WsCloseSocket(s);
    }
    EXPECT_EQ(WsOpenSocketCount(), 0u);
  }

  // Listener on a free loopback port, a client connected to it, the server side accepted.
  void Connect(long client_events) {
    int error = 0;
    listener_ = WsSocket(&error);
    ASSERT_EQ(WsListen(listener_, Loopback(0), 4), 0);
    ASSERT_EQ(WsAsyncSelect(listener_, window_.Handle(), kSocketMessage, FD_ACCEPT), 0);
    sockaddr_in bound{};
    ASSERT_EQ(WsLocalAddress(listener_, &bound), 0);
    client_ = WsSocket(&error);
    ASSERT_EQ(WsAsyncSelect(client_, window_.Handle(), kSocketMessage, client_events), 0);
    ASSERT_EQ(WsConnect(client_, Loopback(bound.sin_port)), WSAEWOULDBLOCK);
    ASSERT_TRUE(RunUntil([&] { return Count(listener_, FD_ACCEPT) == 1; }));
    server_side_ = WsAccept(listener_, &error);
    ASSERT_NE(server_side_, kInvalidSocket);
    ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_CONNECT) == 1; }));
  }
  int Count(SocketHandle s, long event) const {
    int n = 0;
    for (const auto& notice : notices_) n += notice.socket == s && notice.event == event;
    return n;
  }
  bool RunUntil(const std::function<bool()>& done) { return test::PumpUntil(loop_, done); }
  void Settle() { test::PumpFor(loop_, std::chrono::milliseconds(50)); }
  void ServerSends(const std::string& bytes) {
    std::size_t sent = 0;
    ASSERT_EQ(WsSend(server_side_, bytes.data(), bytes.size(), &sent), 0);
    ASSERT_EQ(sent, bytes.size());
  }
  std::string ClientReads(std::size_t room) {
    std::string buffer(room, '\0');
    std::size_t length = room;
    EXPECT_EQ(WsRecv(client_, buffer.data(), &length), 0);
    buffer.resize(length);
    return buffer;
  }

  EventLoop loop_;
  test::Watchdog watchdog_;
  test::LambdaWindow window_;
  std::vector<Notice> notices_;
  SocketHandle listener_ = kInvalidSocket;
  SocketHandle client_ = kInvalidSocket;
  SocketHandle server_side_ = kInvalidSocket;
};

TEST_F(AsyncSocketTest, ConnectIsToldOnceThenOneWriteNotice) {
  Connect(FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
  Settle();
  EXPECT_EQ(Count(client_, FD_CONNECT), 1);
  EXPECT_EQ(Count(client_, FD_WRITE), 1);
  EXPECT_EQ(Count(client_, FD_READ), 0);
  EXPECT_EQ(notices_.back().error, 0);
}

TEST_F(AsyncSocketTest, ReadIsToldAgainOnlyAfterAReceiveThatLeftBytesBehind) {
  Connect(FD_CONNECT | FD_READ | FD_CLOSE);
  ServerSends("0123456789");
  ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_READ) == 1; }));
  ServerSends("more");  // no new notice while the first is unanswered
  Settle();
  EXPECT_EQ(Count(client_, FD_READ), 1);
  EXPECT_EQ(ClientReads(4), "0123");
  ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_READ) == 2; }));
  EXPECT_EQ(ClientReads(100), "456789more");
  Settle();
  EXPECT_EQ(Count(client_, FD_READ), 2) << "nothing left: no notice";
}

TEST_F(AsyncSocketTest, CloseComesOnceAndOnlyAfterTheDataBeforeItWasRead) {
  Connect(FD_CONNECT | FD_READ | FD_CLOSE);
  ServerSends("last words");
  WsCloseSocket(server_side_);
  server_side_ = kInvalidSocket;
  ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_READ) == 1; }));
  Settle();
  EXPECT_EQ(Count(client_, FD_CLOSE), 0) << "data still unread";
  EXPECT_EQ(ClientReads(100), "last words");
  ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_CLOSE) == 1; }));
  Settle();
  EXPECT_EQ(Count(client_, FD_CLOSE), 1);
  EXPECT_EQ(ClientReads(100), "") << "end of stream";
}

TEST_F(AsyncSocketTest, NoticesQueuedForAClosedSocketNeverReachANewOne) {
  Connect(FD_CONNECT | FD_READ | FD_CLOSE);
  ServerSends("x");
  // Collect the readiness without delivering it: the FD_READ waits in the queue.
  for (int i = 0; i < 100 && !loop_.HasWaitingMessages(); ++i) loop_.GetPoller()->Wait(20);
  ASSERT_TRUE(loop_.HasWaitingMessages());
  const SocketHandle old = client_;
  WsCloseSocket(client_);
  int error = 0;
  client_ = WsSocket(&error);
  EXPECT_NE(client_, old) << "handles are never reused";
  loop_.RunPending();
  EXPECT_EQ(Count(old, FD_READ), 1) << "the late notice names the closed socket";
  EXPECT_EQ(Count(client_, FD_READ), 0);
  std::size_t length = 1;
  char byte;
  EXPECT_EQ(WsRecv(old, &byte, &length), WSAENOTSOCK);
}

TEST_F(AsyncSocketTest, AnUnansweredReadNoticeLeavesNothingThatKeepsTheLoopAwake) {
  Connect(FD_CONNECT | FD_READ | FD_CLOSE);
  ServerSends("x");
  ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_READ) == 1; }));
  ServerSends("y");
  WsCloseSocket(server_side_);
  server_side_ = kInvalidSocket;
  // The socket stays ready (bytes, then the end) but nothing may be told before a receive: at most
  // one report, after which the loop sleeps.
  int reports = 0;
  for (int i = 0; i < 5; ++i) reports += loop_.GetPoller()->Wait(20);
  EXPECT_LE(reports, 1);
  loop_.RunPending();
  EXPECT_EQ(Count(client_, FD_READ), 1);
  EXPECT_EQ(Count(client_, FD_CLOSE), 0);
  EXPECT_EQ(ClientReads(100), "xy");
  ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_CLOSE) == 1; }));
}

TEST_F(AsyncSocketTest, AClosedConnectionEndsAtThePeerAndAListenerFreesItsPortAtOnce) {
  Connect(FD_CONNECT | FD_READ | FD_CLOSE);
  // The client's close is finished by the closing thread; the server still sees the end.
  WsCloseSocket(client_);
  client_ = kInvalidSocket;
  ASSERT_EQ(WsAsyncSelect(server_side_, window_.Handle(), kSocketMessage, FD_READ | FD_CLOSE), 0);
  ASSERT_TRUE(RunUntil([&] { return Count(server_side_, FD_CLOSE) == 1; }));
  // A port given up is free for the next listener at once.
  sockaddr_in bound{};
  ASSERT_EQ(WsLocalAddress(listener_, &bound), 0);
  WsCloseSocket(listener_);
  int error = 0;
  listener_ = WsSocket(&error);
  EXPECT_EQ(WsListen(listener_, Loopback(bound.sin_port), 4), 0);
}

TEST(DeferredClose, EveryDescriptorHandedOverIsClosedByTheFlush) {
  // More than a batch and a partial one: the rest must not wait for more to come.
  std::vector<int> reading_ends;
  for (std::size_t i = 0; i < DeferredClose::kBatch * 2 + 5; ++i) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    reading_ends.push_back(fds[0]);
    DeferredClose::Close(fds[1]);
  }
  DeferredClose::Flush();
  for (const int fd : reading_ends) {
    char byte;
    EXPECT_EQ(read(fd, &byte, 1), 0) << "the writing end is closed: end of file";
    close(fd);
  }
  // A lone descriptor is closed without a flush too, after a short wait.
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  DeferredClose::Close(fds[1]);
  pollfd poll_fd{fds[0], POLLIN, 0};
  EXPECT_EQ(poll(&poll_fd, 1, 5000), 1);
  char byte;
  EXPECT_EQ(read(fds[0], &byte, 1), 0);
  close(fds[0]);
}

TEST_F(AsyncSocketTest, AcceptIsToldAgainOnlyAfterAnAccept) {
  Connect(FD_CONNECT);
  int error = 0;
  SocketHandle second = WsSocket(&error), third = WsSocket(&error);
  sockaddr_in bound{};
  WsLocalAddress(listener_, &bound);
  WsConnect(second, Loopback(bound.sin_port));
  WsConnect(third, Loopback(bound.sin_port));
  ASSERT_TRUE(RunUntil([&] { return Count(listener_, FD_ACCEPT) == 2; }));
  Settle();
  EXPECT_EQ(Count(listener_, FD_ACCEPT), 2) << "two waiting connections, one notice";
  SocketHandle a = WsAccept(listener_, &error);
  ASSERT_TRUE(RunUntil([&] { return Count(listener_, FD_ACCEPT) == 3; }));
  SocketHandle b = WsAccept(listener_, &error);
  EXPECT_EQ(WsAccept(listener_, &error), kInvalidSocket);
  EXPECT_EQ(error, WSAEWOULDBLOCK);
  for (SocketHandle s : {second, third, a, b}) WsCloseSocket(s);
}

TEST_F(AsyncSocketTest, RefusedConnectEndsThroughTheConnectNotice) {
  int error = 0;
  client_ = WsSocket(&error);
  ASSERT_EQ(WsAsyncSelect(client_, window_.Handle(), kSocketMessage, FD_CONNECT), 0);
  listener_ = WsSocket(&error);  // bound but not listening: nothing accepts on its port
  sockaddr_in bound{};
  ASSERT_EQ(WsListen(listener_, Loopback(0), 1), 0);
  WsLocalAddress(listener_, &bound);
  WsCloseSocket(listener_);
  listener_ = kInvalidSocket;
  ASSERT_EQ(WsConnect(client_, Loopback(bound.sin_port)), WSAEWOULDBLOCK);
  ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_CONNECT) == 1; }));
  EXPECT_EQ(notices_.back().error, WSAECONNREFUSED);
  EXPECT_EQ(WsConnect(client_, Loopback(bound.sin_port)), WSAEINVAL) << "one connect per socket";
}

TEST_F(AsyncSocketTest, ConnectFaultSeamEndsTheConnectWithoutTraffic) {
  WsSetConnectFault([](const sockaddr_in& a) {
    return a.sin_addr.s_addr == inet_addr("10.20.30.40") ? WSAETIMEDOUT : 0;
  });
  int error = 0;
  client_ = WsSocket(&error);
  WsAsyncSelect(client_, window_.Handle(), kSocketMessage, FD_CONNECT);
  sockaddr_in far = Loopback(htons(80));
  far.sin_addr.s_addr = inet_addr("10.20.30.40");
  EXPECT_EQ(WsConnect(client_, far), WSAEWOULDBLOCK);
  WsSetConnectFault(nullptr);
  ASSERT_TRUE(RunUntil([&] { return Count(client_, FD_CONNECT) == 1; }));
  EXPECT_EQ(notices_.back().error, WSAETIMEDOUT);
}

TEST_F(AsyncSocketTest, SelectNeedsAWindowOfThisThreadsLoop) {
  int error = 0;
  client_ = WsSocket(&error);
  EXPECT_EQ(WsAsyncSelect(client_, 0, kSocketMessage, FD_READ), WSAEINVAL);
  EXPECT_EQ(WsAsyncSelect(client_, window_.Handle(), kSocketMessage, 0), 0) << "stopping is fine";
  EXPECT_EQ(WsAsyncSelect(kInvalidSocket, window_.Handle(), kSocketMessage, FD_READ), WSAENOTSOCK);
}

TEST(WinSockErrors, SystemErrorsBecomeTheNumbersTheLogicReasonsWith) {
  const std::pair<int, int> table[] = {
      {0, 0},
      {EAGAIN, WSAEWOULDBLOCK},
      {EINPROGRESS, WSAEWOULDBLOCK},
      {ENETUNREACH, WSAENETUNREACH},
      {ETIMEDOUT, WSAETIMEDOUT},
      {ECONNREFUSED, WSAECONNREFUSED},
      {ECONNRESET, WSAECONNRESET},
      {EPIPE, WSAECONNRESET},
      {EHOSTUNREACH, WSAEHOSTUNREACH},
      {ENOTCONN, WSAENOTCONN},
      {EADDRINUSE, WSAEADDRINUSE},
      {EMFILE, WSAEMFILE},
      {ENOTSOCK, WSAENOTSOCK},
      {EDOM, WSAEINVAL},  // no counterpart
  };
  for (const auto& [err, expected] : table) EXPECT_EQ(WinSockErrorFromErrno(err), expected) << err;
}

}  // namespace
}  // namespace qlm
