// CWSSocket against real loopback servers: connect, data, close, reset, refusal, the send queue.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/CWSSocket.h"
#include "platform/WinSockErrors.h"
#include "tests/net/NetTestFixture.h"
#include "tests/support/ScriptedServer.h"

namespace qlm {
namespace {

using test::RecordingSink;
using test::ScriptedServer;
using test::ServerScript;

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

class CWSSocketTest : public test::NetTest {
 protected:
  CWSSocketTest() { socket_.SetSink(&sink_, 77); }

  // Connects and pumps until the connect notice.
  void ConnectTo(std::uint16_t port) {
    ASSERT_EQ(socket_.Connect(Loopback(port)), WSAEWOULDBLOCK);
    EXPECT_EQ(socket_.State(), CWSSocket::kConnecting);
    ASSERT_TRUE(RunUntil([&] { return sink_.Count(ISocketSink::kConnected) == 1; }));
  }

  // Reads on every readable notice; records what came and where the close notice fell.
  void ReadEverything() {
    sink_.action = [this](const RecordingSink::Notice& n) {
      if (n.notice == ISocketSink::kReadable) {
        char buffer[7];  // small on purpose: a read leaves bytes behind, which must be told again
        std::size_t length = sizeof buffer;
        if (socket_.Receive(buffer, &length) == 0) received_.append(buffer, length);
      }
      if (n.notice == ISocketSink::kClosed) bytes_at_close_ = received_.size();
    };
  }

  CWSSocket socket_;
  RecordingSink sink_;
  std::string received_;
  std::size_t bytes_at_close_ = 0;
};

TEST_F(CWSSocketTest, ConnectsReadsEverythingAndIsToldOfTheCloseAfterTheLastByte) {
  const std::string reply(5000, 'x');
  ScriptedServer server(ServerScript().Send(reply).Close());
  ReadEverything();
  ConnectTo(server.Port());
  EXPECT_EQ(sink_.notices[0].cookie, 77u);
  EXPECT_EQ(sink_.notices[0].error, 0);
  EXPECT_EQ(socket_.State(), CWSSocket::kConnected);
  ASSERT_TRUE(RunUntil([&] { return sink_.Count(ISocketSink::kClosed) == 1; }));
  EXPECT_EQ(received_, reply);
  EXPECT_EQ(bytes_at_close_, reply.size()) << "the close was told before all data was read";
  Settle();
  EXPECT_EQ(sink_.Count(ISocketSink::kClosed), 1);
  EXPECT_EQ(socket_.Close(), 0);
}

TEST_F(CWSSocketTest, TrickleArrivesWholeWithOneCloseAtTheEnd) {
  const std::string reply = "HTTP/1.0 200 OK\r\n\r\ntrickled body";
  ScriptedServer server(ServerScript().Trickle(reply, std::chrono::milliseconds(1)).Close());
  ReadEverything();
  ConnectTo(server.Port());
  ASSERT_TRUE(RunUntil([&] { return sink_.Count(ISocketSink::kClosed) == 1; }));
  EXPECT_EQ(received_, reply);
  EXPECT_EQ(bytes_at_close_, reply.size());
  socket_.Close();
}

TEST_F(CWSSocketTest, RefusedConnectionIsToldThroughTheConnectNotice) {
  ASSERT_EQ(socket_.Connect(Loopback(test::RefusedPort())), WSAEWOULDBLOCK);
  ASSERT_TRUE(RunUntil([&] { return !sink_.notices.empty(); }));
  ASSERT_EQ(sink_.notices.size(), 1u);
  EXPECT_EQ(sink_.notices[0].notice, ISocketSink::kConnected);
  EXPECT_EQ(sink_.notices[0].error, WSAECONNREFUSED);
  EXPECT_NE(socket_.State(), CWSSocket::kConnected);
  socket_.Close();
}

TEST_F(CWSSocketTest, ResetByThePeerIsAClosedNoticeWithConnReset) {
  ScriptedServer server(ServerScript().ReadRequest().Reset());
  ConnectTo(server.Port());
  const std::string request = "GET / HTTP/1.0\r\n\r\n";
  EXPECT_EQ(socket_.Send(request.data(), request.size()), 0);
  ASSERT_TRUE(RunUntil([&] { return sink_.Count(ISocketSink::kClosed) == 1; }));
  EXPECT_EQ(sink_.notices.back().error, WSAECONNRESET);
  socket_.Close();
}

TEST_F(CWSSocketTest, SendThatWouldBlockQueuesAndFinishesInOrderOnWrite) {
  // The server reads nothing for a moment, so the first buffer cannot all go at once.
  ScriptedServer server(ServerScript().Pause(std::chrono::milliseconds(100)).AwaitPeerClose());
  ConnectTo(server.Port());
  const std::string big(32 << 20, 'b');
  const std::string small = "tail";
  EXPECT_EQ(socket_.Send(big.data(), big.size()), WSAEWOULDBLOCK);
  EXPECT_EQ(socket_.Send(small.data(), small.size()), WSAEWOULDBLOCK) << "queued behind";
  EXPECT_EQ(socket_.QueuedEntries(), 2u);
  ASSERT_TRUE(RunUntil([&] { return sink_.Count(ISocketSink::kSendDone) == 2; }));
  std::vector<const void*> finished;
  for (const auto& n : sink_.notices) {
    if (n.notice == ISocketSink::kSendDone) {
      EXPECT_EQ(n.error, 0);
      finished.push_back(n.extra);
    }
  }
  EXPECT_EQ(finished, (std::vector<const void*>{big.data(), small.data()}));
  socket_.Close();
  ASSERT_TRUE(server.WaitForPeerClose(0, std::chrono::seconds(10)));
  EXPECT_EQ(server.Request(0), big + small);
}

TEST_F(CWSSocketTest, ClosingWithQueuedDataDropsTheQueueWithoutNotices) {
  ScriptedServer server(ServerScript().HoldOpen());
  ConnectTo(server.Port());
  const std::string big(32 << 20, 'q');
  ASSERT_EQ(socket_.Send(big.data(), big.size()), WSAEWOULDBLOCK);
  const std::size_t notices_before = sink_.notices.size();
  EXPECT_EQ(socket_.Close(), 0);
  EXPECT_EQ(socket_.QueuedEntries(), 0u);
  EXPECT_EQ(socket_.Handle(), kInvalidSocket);
  EXPECT_EQ(socket_.State(), CWSSocket::kClosedOrIdle);
  Settle();
  EXPECT_EQ(sink_.notices.size(), notices_before);
}

TEST_F(CWSSocketTest, SinkMayCloseOrDestroyTheSocketInsideASendNotice) {
  ScriptedServer server(ServerScript().Pause(std::chrono::milliseconds(50)).AwaitPeerClose());
  auto socket = std::make_unique<CWSSocket>();
  RecordingSink sink;
  socket->SetSink(&sink, 1);
  ASSERT_EQ(socket->Connect(Loopback(server.Port())), WSAEWOULDBLOCK);
  ASSERT_TRUE(RunUntil([&] { return sink.Count(ISocketSink::kConnected) == 1; }));
  const std::string big(32 << 20, 'd');
  const std::string second = "never sent";
  ASSERT_EQ(socket->Send(big.data(), big.size()), WSAEWOULDBLOCK);
  ASSERT_EQ(socket->Send(second.data(), second.size()), WSAEWOULDBLOCK);
  sink.action = [&](const RecordingSink::Notice& n) {
    if (n.notice == ISocketSink::kSendDone) socket.reset();  // the second entry goes with it
  };
  ASSERT_TRUE(RunUntil([&] { return socket == nullptr; }));
  Settle();
  EXPECT_EQ(sink.Count(ISocketSink::kSendDone), 1);
}

TEST_F(CWSSocketTest, NoSinkMeansNoNotices) {
  ScriptedServer server(ServerScript().Send("data").Close());
  socket_.SetSink(nullptr, 0);
  ASSERT_EQ(socket_.Connect(Loopback(server.Port())), WSAEWOULDBLOCK);
  Settle(100);
  EXPECT_TRUE(sink_.notices.empty());
  socket_.Close();
}

TEST_F(CWSSocketTest, OperationsOnAClosedSocketFailWithWinSockNumbers) {
  char buffer[4];
  std::size_t length = sizeof buffer;
  EXPECT_EQ(socket_.Receive(buffer, &length), WSAENOTSOCK);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(socket_.Send("x", 1), WSAENOTSOCK);
  EXPECT_EQ(socket_.LastError(), WSAENOTSOCK);
  EXPECT_EQ(socket_.Close(), 0) << "closing nothing is not an error";
}

}  // namespace
}  // namespace qlm
