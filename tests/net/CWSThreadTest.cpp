// The network worker thread: start-up, its thread messages, download managers made on it, its end,
// and work on it end to end (a connection, and a time limit on the manual clock).
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "net/CConnMgr.h"
#include "net/CWSSocket.h"
#include "net/CWSThread.h"
#include "net/WSAEventWindow.h"
#include "net/WSMessages.h"
#include "net/WSStartup.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/Messaging.h"
#include "platform/WinSockErrors.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using test::ScriptedServer;
using test::ServerScript;

constexpr unsigned kWhichThread = WM_USER + 300;
constexpr unsigned kResult = WM_USER + 301;

// The request block a download manager would get, with one value of the test's own.
struct TestRequest : ManagerRequest {
  std::uint16_t port = 0;
};

// The test thread's side: a loop and a window that collects answers from the worker.
class CWSThreadTest : public testing::Test {
 protected:
  CWSThreadTest() : watchdog_(std::chrono::seconds(30), loop_.Id()) {
    WSStartup();
    requester_.SetHandler([this](Message& msg) -> LResult {
      if (msg.message == WM_WS_MANAGER_CREATED) {
        manager_ = msg.TakePayloadValue<Hwnd>(~Hwnd{0});
        answered_ = true;
      } else if (msg.message == kResult) {
        auto text = msg.TakePayload<PayloadValue<std::string>>();
        results_.push_back(text ? text->value : "(none)");
      }
      return 0;
    });
    requester_.Create();
  }
  ~CWSThreadTest() override { CWSThread::SetManagerFactory(nullptr); }

  void RequestManager(CWSThread& worker, std::uint16_t port = 0) {
    auto request = std::make_unique<TestRequest>();
    request->requester = requester_.Handle();
    request->port = port;
    ASSERT_TRUE(PostThreadMessage(worker.Id(), WM_WS_CREATE_MANAGER, 0, 0, std::move(request)));
    ASSERT_TRUE(RunUntil([&] { return answered_; }));
  }
  bool RunUntil(const std::function<bool()>& done) { return test::PumpUntil(loop_, done); }

  EventLoop loop_;
  test::Watchdog watchdog_;
  LambdaWindow requester_;
  bool answered_ = false;
  Hwnd manager_ = 0;
  std::vector<std::string> results_;
};

TEST_F(CWSThreadTest, StartsOnlyAfterStartUpAndOnlyOnceAtATime) {
  WSCleanup();
  CWSThread refused;
  EXPECT_FALSE(refused.Start());
  EXPECT_EQ(refused.Id(), 0u);
  WSStartup();
  CWSThread worker;
  ASSERT_TRUE(worker.Start());
  EXPECT_NE(worker.Id(), 0u);
  EXPECT_TRUE(IsWindow(worker.EventWindow()));
  EXPECT_EQ(WSAEventWindow::Current(), worker.EventWindow());
  EXPECT_FALSE(CWSThread::EndEvent().IsSet());
  CWSThread second;
  EXPECT_FALSE(second.Start()) << "a second hidden window is never created";
  worker.Stop();
  EXPECT_TRUE(CWSThread::EndEvent().IsSet());
  EXPECT_EQ(WSAEventWindow::Current(), 0u);
  EXPECT_TRUE(second.Start());
}

TEST_F(CWSThreadTest, EndsOnItsThreadMessageAndSetsTheEndEvent) {
  CWSThread worker;
  ASSERT_TRUE(worker.Start());
  const Hwnd hidden = worker.EventWindow();
  ASSERT_TRUE(PostThreadMessage(worker.Id(), WM_WS_END_THREAD));
  EXPECT_TRUE(CWSThread::EndEvent().Wait(std::chrono::seconds(10)));
  EXPECT_FALSE(IsWindow(hidden));
}

TEST_F(CWSThreadTest, ManagerIsMadeOnTheWorkerAndItsHandlePostedToTheRequester) {
  std::atomic<int> made = 0;
  std::uint16_t seen_port = 0;
  CWSThread::SetManagerFactory([&](std::unique_ptr<ManagerRequest> request) {
    auto* mine = dynamic_cast<TestRequest*>(request.get());
    seen_port = mine ? mine->port : 0;
    ++made;
    auto manager = std::make_unique<LambdaWindow>([](Message& msg) -> LResult {
      return msg.message == kWhichThread ? static_cast<LResult>(CurrentThreadLoopId()) : 0;
    });
    manager->Create("DLManager", "DLManager");
    return manager;
  });
  CWSThread worker;
  ASSERT_TRUE(worker.Start());
  RequestManager(worker, 8080);
  EXPECT_EQ(made, 1);
  EXPECT_EQ(seen_port, 8080) << "the crawl engine's block arrives whole";
  ASSERT_TRUE(IsWindow(manager_));
  EXPECT_EQ(static_cast<ThreadId>(SendMessage(manager_, kWhichThread)), worker.Id());
  worker.Stop();
  EXPECT_FALSE(IsWindow(manager_)) << "managers go with the thread";
}

// A manager that ended is freed when it says so, not only when the next one is made.
TEST_F(CWSThreadTest, AManagerThatEndedIsFreedAtOnce) {
  constexpr unsigned kEnd = WM_USER + 302;
  struct EndingManager final : Window {
    explicit EndingManager(std::atomic<bool>& freed) : freed_(freed) {}
    ~EndingManager() override {
      Destroy();
      freed_ = true;
    }
    LResult WindowProc(Message& msg) override {
      if (msg.message != kEnd) return Window::WindowProc(msg);
      Destroy();
      PostThreadMessage(CurrentThreadLoopId(), WM_WS_FREE_ENDED);
      return 0;
    }
    std::atomic<bool>& freed_;
  };
  std::atomic<bool> freed = false;
  CWSThread::SetManagerFactory([&](std::unique_ptr<ManagerRequest>) {
    auto manager = std::make_unique<EndingManager>(freed);
    manager->Create("DLManager", "DLManager");
    return manager;
  });
  CWSThread worker;
  ASSERT_TRUE(worker.Start());
  RequestManager(worker);
  ASSERT_TRUE(IsWindow(manager_));
  ASSERT_TRUE(PostMessage(manager_, kEnd));
  EXPECT_TRUE(RunUntil([&] { return freed.load(); }));
  worker.Stop();
}

TEST_F(CWSThreadTest, WithoutAFactoryTheRequesterStillGetsAnAnswer) {
  CWSThread worker;
  ASSERT_TRUE(worker.Start());
  RequestManager(worker);
  EXPECT_EQ(manager_, 0u);
}

// A stand-in for a download object: on the worker it connects, sends a request, reads the reply to
// the end and posts it to the requester; a 60-second limit cancels everything and posts "timeout".
class FetchWindow final : public Window, private IConnectOwner, private ISocketSink {
 public:
  FetchWindow(Hwnd requester, std::uint16_t port)
      : requester_(requester), port_(port), connection_(this, 1) {}
  ~FetchWindow() override {
    connection_.Cancel(false);
    socket_.Close();
    Destroy();
  }
  void Begin() {
    SetTimer(Handle(), 1, 60000);
    connection_.Connect("127.0.0.1", port_, &socket_, this, 2);
  }

 protected:
  LResult WindowProc(Message& msg) override {
    if (msg.message == WM_TIMER && msg.wparam == 1) {
      KillTimer(Handle(), 1);
      connection_.Cancel(false);
      socket_.Close();
      Report("timeout");
    }
    return 0;
  }

 private:
  void OnConnectNotice(std::uint32_t, int status) override {
    if (status != CConnMgr::kConnected) return Report("connect failed");
    socket_.Send(request_.data(), request_.size());
  }
  void OnSocketEvent(std::uint32_t, int notice, int, const void*) override {
    if (notice == kReadable) {
      char buffer[512];
      std::size_t length = sizeof buffer;
      if (socket_.Receive(buffer, &length) == 0) reply_.append(buffer, length);
    } else if (notice == kClosed) {
      KillTimer(Handle(), 1);
      socket_.Close();
      Report(reply_);
    }
  }
  void Report(const std::string& text) {
    PostMessage(requester_, kResult, 0, 0, MakePayload<std::string>(text));
  }

  const Hwnd requester_;
  const std::uint16_t port_;
  const std::string request_ = "GET / HTTP/1.0\r\n\r\n";
  CWSSocket socket_;
  CConnMgr connection_;
  std::string reply_;
};

ManagerFactory FetchFactory() {
  return [](std::unique_ptr<ManagerRequest> request) -> std::unique_ptr<Window> {
    auto* mine = dynamic_cast<TestRequest*>(request.get());
    if (!mine) return nullptr;
    auto fetch = std::make_unique<FetchWindow>(mine->requester, mine->port);
    fetch->Create("DLObj");
    fetch->Begin();
    return fetch;
  };
}

TEST_F(CWSThreadTest, WorkerFetchesFromALoopbackServerEndToEnd) {
  const std::string reply = "HTTP/1.0 200 OK\r\n\r\n" + std::string(100000, 'z');
  ScriptedServer server(ServerScript().ReadRequest().Send(reply).Close());
  CWSThread::SetManagerFactory(FetchFactory());
  CWSThread worker;
  ASSERT_TRUE(worker.Start());
  RequestManager(worker, server.Port());
  ASSERT_TRUE(RunUntil([&] { return !results_.empty(); }));
  EXPECT_EQ(results_[0], reply);
  EXPECT_EQ(server.Request(0), "GET / HTTP/1.0\r\n\r\n");
}

TEST_F(CWSThreadTest, SixtySecondLimitOnTheWorkerFiresOnTheManualClockOnly) {
  ScriptedServer server(ServerScript().HoldOpen());  // connects, then never answers
  CWSThread::SetManagerFactory(FetchFactory());
  ManualClock clock;
  CWSThread worker(clock);
  ASSERT_TRUE(worker.Start());
  RequestManager(worker, server.Port());
  ASSERT_TRUE(RunUntil([&] { return server.Connections() == 1; }));
  clock.Advance(59999);
  loop_.RunFor(50);
  EXPECT_TRUE(results_.empty());
  clock.Advance(1);
  ASSERT_TRUE(RunUntil([&] { return !results_.empty(); }));
  EXPECT_EQ(results_, std::vector<std::string>{"timeout"});
  EXPECT_TRUE(server.WaitForPeerClose(0, std::chrono::seconds(10))) << "the connection was closed";
}

}  // namespace
}  // namespace qlm
