// CConnMgr on the real socket layer: loopback servers for real connections and refusals, the
// scripted resolver for names with several addresses, and the connect-fault seam for addresses
// that would time out or be unreachable on a real network.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/CConnMgr.h"
#include "platform/FatalError.h"
#include "platform/WinSockErrors.h"
#include "tests/net/NetTestFixture.h"
#include "tests/support/ScriptedResolver.h"
#include "tests/support/ScriptedServer.h"

namespace qlm {
namespace {

using test::RecordingOwner;
using test::RecordingSink;
using test::ScriptedServer;
using test::ServerScript;

class CConnMgrTest : public test::NetTest {
 protected:
  CConnMgrTest() : manager_(std::make_unique<CConnMgr>(&owner_, 42)) {}

  bool Start(const std::string& host, std::uint16_t port) {
    return manager_->Connect(host, port, &socket_, &sink_, 9);
  }
  bool WaitForNotice() {
    return RunUntil([&] { return !owner_.statuses.empty(); });
  }

  test::ResolverScope resolver_;
  test::ConnectFaultScope faults_;
  RecordingOwner owner_;
  RecordingSink sink_;
  CWSSocket socket_;
  std::unique_ptr<CConnMgr> manager_;
};

TEST_F(CConnMgrTest, DottedAddressConnectsWithoutALookupAndHandsTheSocketBack) {
  ScriptedServer server(ServerScript().Send("hello").Close());
  ASSERT_TRUE(Start("127.0.0.1", server.Port()));
  EXPECT_STREQ(manager_->StateName(), "AwaitConnect");
  EXPECT_EQ(manager_->GetStatus(), CConnMgr::kInProgress);
  EXPECT_NE(socket_.Sink(), &sink_) << "the manager is the sink while it connects";
  ASSERT_TRUE(WaitForNotice());
  EXPECT_EQ(owner_.statuses, std::vector<int>{CConnMgr::kConnected});
  EXPECT_EQ(owner_.cookies, std::vector<std::uint32_t>{42});
  EXPECT_TRUE(manager_->IsIdle());
  EXPECT_EQ(manager_->LastError(), 0);
  EXPECT_EQ(socket_.Sink(), &sink_);
  EXPECT_EQ(socket_.SinkCookie(), 9u);
  EXPECT_EQ(socket_.State(), CWSSocket::kConnected);
  EXPECT_EQ(resolver_->Calls("127.0.0.1"), 0);
  // Every later event of the socket reaches the caller's sink.
  ASSERT_TRUE(RunUntil([&] { return sink_.Count(ISocketSink::kReadable) > 0; }));
  EXPECT_EQ(sink_.Count(ISocketSink::kConnected), 0) << "the connect notice was the manager's";
  socket_.Close();
}

TEST_F(CConnMgrTest, NameIsLookedUpAndConnected) {
  ScriptedServer server(ServerScript().HoldOpen());
  resolver_->Add("site.test", {"127.0.0.1"});
  ASSERT_TRUE(Start("site.test", server.Port()));
  EXPECT_STREQ(manager_->StateName(), "AwaitLookup");
  ASSERT_TRUE(WaitForNotice());
  EXPECT_EQ(owner_.statuses, std::vector<int>{CConnMgr::kConnected});
  EXPECT_EQ(resolver_->Calls("site.test"), 1);
  socket_.Close();
}

// How one attempt ends, for hosts whose addresses fail in different ways.
struct RetryCase {
  const char* name;
  std::vector<std::string> addresses;               // what the name resolves to
  std::vector<std::pair<std::string, int>> faults;  // addresses that fail without traffic
  int status;
  int last_error;
  std::vector<std::string> attempts;  // addresses connected to, in order
};

class CConnMgrRetryTest : public CConnMgrTest, public testing::WithParamInterface<RetryCase> {};

TEST_P(CConnMgrRetryTest, TriesFurtherAddressesOnlyAfterUnreachableOrTimedOut) {
  const RetryCase& c = GetParam();
  ScriptedServer server(ServerScript().HoldOpen());  // listens on 127.0.0.1 only
  resolver_->Add("host.test", c.addresses);
  for (const auto& [address, error] : c.faults) faults_.Fail(address, error);
  ASSERT_TRUE(Start("host.test", server.Port()));
  ASSERT_TRUE(WaitForNotice());
  EXPECT_EQ(owner_.statuses, std::vector<int>{c.status});
  EXPECT_EQ(manager_->LastError(), c.last_error);
  EXPECT_EQ(faults_.Attempts(), c.attempts);
  EXPECT_EQ(socket_.State() == CWSSocket::kConnected, c.status == CConnMgr::kConnected);
  if (c.status != CConnMgr::kConnected) {
    EXPECT_EQ(socket_.Handle(), kInvalidSocket) << "a failed attempt closes the socket";
  }
  socket_.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, CConnMgrRetryTest,
    testing::Values(RetryCase{"TimedOutThenUp",
                              {"10.9.0.1", "127.0.0.1"},
                              {{"10.9.0.1", WSAETIMEDOUT}},
                              CConnMgr::kConnected,
                              0,
                              {"10.9.0.1", "127.0.0.1"}},
                    RetryCase{"UnreachableTimedOutThenUp",
                              {"10.9.0.1", "10.9.0.2", "127.0.0.1"},
                              {{"10.9.0.1", WSAENETUNREACH}, {"10.9.0.2", WSAETIMEDOUT}},
                              CConnMgr::kConnected,
                              0,
                              {"10.9.0.1", "10.9.0.2", "127.0.0.1"}},
                    RetryCase{
                        "RefusedIsNotRetried",
                        {"127.0.0.2", "127.0.0.1"},  // nothing listens on 127.0.0.2: a real refusal
                        {},
                        CConnMgr::kFailed,
                        WSAECONNREFUSED,
                        {"127.0.0.2"}},
                    RetryCase{"OtherErrorsAreNotRetried",
                              {"10.9.0.1", "127.0.0.1"},
                              {{"10.9.0.1", WSAEHOSTUNREACH}},
                              CConnMgr::kFailed,
                              WSAEHOSTUNREACH,
                              {"10.9.0.1"}},
                    RetryCase{"EveryAddressTimesOut",
                              {"10.9.0.1", "10.9.0.2"},
                              {{"10.9.0.1", WSAETIMEDOUT}, {"10.9.0.2", WSAETIMEDOUT}},
                              CConnMgr::kFailed,
                              WSAETIMEDOUT,
                              {"10.9.0.1", "10.9.0.2"}}),
    [](const testing::TestParamInfo<RetryCase>& info) { return info.param.name; });

TEST_F(CConnMgrTest, DottedAddressIsNeverRetriedElsewhere) {
  faults_.Fail("10.9.0.1", WSAETIMEDOUT);
  ASSERT_TRUE(Start("10.9.0.1", 80));
  ASSERT_TRUE(WaitForNotice());
  EXPECT_EQ(owner_.statuses, std::vector<int>{CConnMgr::kFailed});
  EXPECT_EQ(manager_->LastError(), WSAETIMEDOUT);
  EXPECT_EQ(faults_.Attempts(), std::vector<std::string>{"10.9.0.1"});
}

TEST_F(CConnMgrTest, LookupFailureEndsFailedWithItsError) {
  ASSERT_TRUE(Start("unknown.test", 80));
  ASSERT_TRUE(WaitForNotice());
  EXPECT_EQ(owner_.statuses, std::vector<int>{CConnMgr::kFailed});
  EXPECT_EQ(manager_->LastError(), WSAHOST_NOT_FOUND);
  EXPECT_TRUE(faults_.Attempts().empty());
}

// What a name server sends must never end the program: a name it answers without any address
// fails the connect like a name it does not know.
TEST_F(CConnMgrTest, ALookupWithoutAnyAddressEndsFailed) {
  resolver_->AddFailure("empty.test", 0);
  ASSERT_TRUE(Start("empty.test", 80));
  ASSERT_TRUE(WaitForNotice());
  EXPECT_EQ(owner_.statuses, std::vector<int>{CConnMgr::kFailed});
  EXPECT_EQ(manager_->LastError(), WSANO_DATA);
  EXPECT_TRUE(faults_.Attempts().empty());
}

TEST_F(CConnMgrTest, WithoutTheHiddenWindowResolveAndConnectFailAtOnce) {
  window_.Destroy();
  // Resolve cannot start a lookup: Resolve -> Done inside Connect.
  ASSERT_TRUE(Start("name.test", 80));
  EXPECT_EQ(owner_.statuses, std::vector<int>{CConnMgr::kFailed});
  EXPECT_EQ(manager_->LastError(), WSAEINVAL);
  // The socket cannot ask for its events: Connect -> Done inside Connect.
  ASSERT_TRUE(Start("127.0.0.1", 80));
  EXPECT_EQ(owner_.statuses, (std::vector<int>{CConnMgr::kFailed, CConnMgr::kFailed}));
  EXPECT_EQ(manager_->LastError(), WSAEINVAL);
  EXPECT_EQ(socket_.Handle(), kInvalidSocket);
  EXPECT_TRUE(manager_->IsIdle());
}

TEST_F(CConnMgrTest, SecondConnectWhileRunningIsRefusedAndChangesNothing) {
  resolver_->Add("a.test", {"127.0.0.1"});
  resolver_->Hold();
  ASSERT_TRUE(Start("a.test", 1));
  RecordingSink other;
  EXPECT_FALSE(manager_->Connect("b.test", 2, &socket_, &other, 3));
  EXPECT_STREQ(manager_->StateName(), "AwaitLookup");
  EXPECT_EQ(resolver_->Calls("b.test"), 0);
  manager_->Cancel(false);
  EXPECT_EQ(socket_.Sink(), &sink_) << "the first caller's sink, not the refused one's";
}

TEST_F(CConnMgrTest, CancelWhileLookingUpSilentlyOrWithNotice) {
  resolver_->Add("slow.test", {"127.0.0.1"});
  resolver_->Hold();
  for (bool notify : {false, true}) {
    SCOPED_TRACE(notify);
    owner_.statuses.clear();
    ASSERT_TRUE(Start("slow.test", 80));
    ASSERT_STREQ(manager_->StateName(), "AwaitLookup");
    manager_->Cancel(notify);
    EXPECT_TRUE(manager_->IsIdle());
    EXPECT_EQ(manager_->GetStatus(), CConnMgr::kCancelled);
    EXPECT_EQ(owner_.statuses,
              notify ? std::vector<int>{CConnMgr::kCancelled} : std::vector<int>{});
    EXPECT_EQ(socket_.Sink(), &sink_);
  }
  resolver_->Release();
  ASSERT_TRUE(test::WaitForLookupThreads());
  Settle();
  EXPECT_EQ(owner_.statuses.size(), 1u) << "a cancelled lookup never completes";
  EXPECT_TRUE(faults_.Attempts().empty());
}

TEST_F(CConnMgrTest, CancelWhileConnectingClosesTheSocketAndNothingArrivesLater) {
  ScriptedServer server(ServerScript().HoldOpen());
  for (bool notify : {false, true}) {
    SCOPED_TRACE(notify);
    owner_.statuses.clear();
    ASSERT_TRUE(Start("127.0.0.1", server.Port()));
    ASSERT_STREQ(manager_->StateName(), "AwaitConnect");
    manager_->Cancel(notify);
    EXPECT_EQ(manager_->GetStatus(), CConnMgr::kCancelled);
    EXPECT_EQ(socket_.Handle(), kInvalidSocket);
    EXPECT_EQ(owner_.statuses,
              notify ? std::vector<int>{CConnMgr::kCancelled} : std::vector<int>{});
    Settle();
    EXPECT_EQ(owner_.statuses.size(), notify ? 1u : 0u) << "no late connect notice";
    EXPECT_TRUE(sink_.notices.empty());
  }
}

TEST_F(CConnMgrTest, CancelWhenIdleDoesNothing) {
  manager_->Cancel(true);
  EXPECT_TRUE(owner_.statuses.empty());
  EXPECT_TRUE(manager_->IsIdle());
  EXPECT_EQ(manager_->GetStatus(), CConnMgr::kInProgress);
}

TEST_F(CConnMgrTest, OwnerMayCancelRestartOrDestroyFromItsNotice) {
  ScriptedServer server(ServerScript().HoldOpen());
  int notices = 0;
  owner_.action = [&](int) {
    ++notices;
    manager_->Cancel(true);  // idle by now: nothing happens
    if (notices == 1) {
      EXPECT_TRUE(Start("127.0.0.1", server.Port())) << "idle again inside the notice";
    } else {
      manager_.reset();
    }
  };
  ASSERT_TRUE(Start("127.0.0.1", test::RefusedPort()));
  ASSERT_TRUE(RunUntil([&] { return manager_ == nullptr; }));
  EXPECT_EQ(owner_.statuses, (std::vector<int>{CConnMgr::kFailed, CConnMgr::kConnected}));
  socket_.Close();
}

TEST_F(CConnMgrTest, DestroyedMidAttemptLeavesNoRegistrationAndNoNotice) {
  ScriptedServer server(ServerScript().HoldOpen());
  resolver_->Add("slow.test", {"127.0.0.1"});
  resolver_->Hold();
  ASSERT_TRUE(Start("slow.test", server.Port()));
  manager_.reset();  // in AwaitLookup
  manager_ = std::make_unique<CConnMgr>(&owner_, 1);
  ASSERT_TRUE(Start("127.0.0.1", server.Port()));
  manager_.reset();  // in AwaitConnect
  resolver_->Release();
  ASSERT_TRUE(test::WaitForLookupThreads());
  Settle();
  EXPECT_TRUE(owner_.statuses.empty());
  EXPECT_EQ(socket_.Handle(), kInvalidSocket);
}

TEST_F(CConnMgrTest, ConnectClosesAnOpenSocketFirst) {
  ScriptedServer server(ServerScript().HoldOpen());
  ASSERT_EQ(socket_.Open(), 0);
  const SocketHandle old = socket_.Handle();
  ASSERT_TRUE(Start("127.0.0.1", server.Port()));
  EXPECT_NE(socket_.Handle(), old);
  ASSERT_TRUE(WaitForNotice());
  socket_.Close();
}

}  // namespace
}  // namespace qlm
