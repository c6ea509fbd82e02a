// Windows that other programs find by class and title and message by handle: a helper program
// (the window peer) stands on the other side of every cross-program case.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/EpollPoller.h"
#include "platform/EventLoop.h"
#include "platform/Folders.h"
#include "platform/ManualClock.h"
#include "platform/MessageIds.h"
#include "platform/MessageLoop.h"
#include "platform/Messaging.h"
#include "platform/WindowDirectory.h"
#include "platform/WindowTable.h"
#include "tests/platform/ChildProcess.h"
#include "tests/platform/ScopedEnv.h"
#include "tests/platform/peer/PeerMessages.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/TempHome.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::ChildProcess;
using test::LambdaWindow;
using test::Watchdog;

bool Exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

// Runs the calling thread's loop until `done` holds or `limit_ms` of real time pass.
bool RunUntil(EventLoop& loop, const std::function<bool()>& done, int limit_ms = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (loop.RunPending() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The window peer, started and ready: its published window's handle is known.
struct Peer {
  ChildProcess process;
  Hwnd hwnd = 0;

  bool Start(const std::string& class_name, const std::string& title) {
    if (!process.Start(QLM_WINDOW_PEER, {class_name, title})) return false;
    const std::string line = process.ReadLine(10000);
    hwnd = std::strtoull(line.c_str(), nullptr, 10);
    return hwnd != 0;
  }
};

TEST(RemoteWindow, HandlesCarryTheProcessIdAndAreNeverShared) {
  EventLoop loop;
  LambdaWindow first;
  LambdaWindow second;
  ASSERT_TRUE(first.Create());
  ASSERT_TRUE(second.Create());
  EXPECT_EQ(first.Handle() >> 32, static_cast<Hwnd>(getpid()));
  EXPECT_NE(first.Handle(), second.Handle());
  EXPECT_TRUE(WindowTable::IsLocal(first.Handle()));
  EXPECT_FALSE(WindowTable::IsLocal(first.Handle() ^ (Hwnd{1} << 40)));
  // A handle of this process that names no window is no window, here or elsewhere.
  EXPECT_FALSE(IsWindow(second.Handle() + 1000));
}

TEST(RemoteWindow, FindWindowSeesPublishedWindowsOnlyAndMatchesClassAndTitle) {
  EventLoop loop;
  LambdaWindow hidden;
  LambdaWindow slide;
  LambdaWindow saver;
  ASSERT_TRUE(hidden.Create("QlmSwClass", "Quillmere Slide Window"));  // never published
  ASSERT_TRUE(slide.Create("QlmSwClass", "Quillmere Slide Window"));
  ASSERT_TRUE(saver.Create("QlmSsClass", "Quillmere Screen Saver"));
  EXPECT_EQ(FindWindow("QlmSwClass", "Quillmere Slide Window"), 0u);
  ASSERT_TRUE(slide.Publish());
  ASSERT_TRUE(saver.Publish());
  EXPECT_TRUE(slide.Publish());  // again: nothing changes
  struct Case {
    const char* class_name;
    const char* title;
    Hwnd expected;
  } cases[] = {
      {"QlmSwClass", "Quillmere Slide Window", slide.Handle()},
      {"", "Quillmere Screen Saver", saver.Handle()},
      {"QlmSsClass", "", saver.Handle()},
      {"QlmSsClass", "Quillmere Slide Window", 0},
      {"QlmSwClas", "Quillmere Slide Window", 0},
      {"QlmSwClass", "Quillmere Slide Window ", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindWindow(c.class_name, c.title), c.expected) << c.class_name << "/" << c.title;
  }
  const std::string socket = WindowDirectory::SocketPath(slide.Handle());
  EXPECT_TRUE(Exists(socket));
  slide.Destroy();
  EXPECT_EQ(FindWindow("QlmSwClass", "Quillmere Slide Window"), 0u);
  EXPECT_FALSE(Exists(socket));
  EXPECT_FALSE(Exists(socket + ".id"));
}

TEST(RemoteWindow, PostsAndSendsCrossToAnotherProgramAndBack) {
  EventLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  std::vector<WParam> pongs;
  LambdaWindow main_window([&](Message& msg) -> LResult {
    if (msg.message == test::kPeerPong) pongs.push_back(msg.wparam);
    return 0;
  });
  ASSERT_TRUE(main_window.Create("", "Quillmere Download Engine"));
  ASSERT_TRUE(main_window.Publish());
  Peer peer;
  ASSERT_TRUE(peer.Start("QlmSwClass", "Quillmere Slide Window"));
  EXPECT_EQ(peer.hwnd >> 32, static_cast<Hwnd>(peer.process.Pid()));
  EXPECT_EQ(FindWindow("QlmSwClass", "Quillmere Slide Window"), peer.hwnd);
  EXPECT_TRUE(IsWindow(peer.hwnd));

  // A send is a round trip with the handler's result, large values and negative ones included.
  EXPECT_EQ(SendMessage(peer.hwnd, test::kPeerEcho, 7, -3), 6997);
  LResult result = 0;
  EXPECT_TRUE(TrySendMessage(peer.hwnd, test::kPeerEcho, 1, Hwnd{0x7FFF} << 32, &result));
  EXPECT_EQ(result, 1000 + (LResult{0x7FFF} << 32));

  // Posts keep their order both ways, and the answers come back as posts to our handle. More
  // posts than a socket buffer holds: the poster waits for room while both loops run.
  constexpr int kCount = 2000;
  std::atomic<int> refused = 0;
  std::thread poster([&, target = peer.hwnd, back = static_cast<LParam>(main_window.Handle())] {
    for (int i = 0; i < kCount; ++i) {
      if (!PostMessage(target, test::kPeerPing, i, back)) ++refused;
    }
  });
  EXPECT_TRUE(RunUntil(loop, [&] { return pongs.size() == kCount; }));
  poster.join();
  EXPECT_EQ(refused, 0);
  ASSERT_EQ(pongs.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(pongs[i], static_cast<WParam>(i));

  // Payloads do not cross programs; the post is refused rather than losing its block.
  EXPECT_FALSE(PostMessage(peer.hwnd, test::kPeerPing, 0, 0, MakePayload(1)));

  EXPECT_TRUE(PostMessage(peer.hwnd, WM_CLOSE));
  EXPECT_EQ(peer.process.Wait(10000), 0);
  EXPECT_FALSE(IsWindow(peer.hwnd));
  EXPECT_EQ(FindWindow("QlmSwClass", "Quillmere Slide Window"), 0u);
}

TEST(RemoteWindow, AKilledProgramLeavesAStaleSocketThatIsClearedAndNeverReached) {
  EventLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  Peer peer;
  ASSERT_TRUE(peer.Start("QlmSsClass", "Quillmere Screen Saver"));
  ASSERT_TRUE(PostMessage(peer.hwnd, test::kPeerPing, 1, 0));  // keeps a connection open
  peer.process.Kill(SIGKILL);
  ASSERT_EQ(peer.process.Wait(10000), 128 + SIGKILL);
  const std::string socket = WindowDirectory::SocketPath(peer.hwnd);
  ASSERT_TRUE(Exists(socket));  // nobody removed it

  LResult result = 5;
  EXPECT_FALSE(PostMessage(peer.hwnd, test::kPeerPing, 2, 0));
  EXPECT_FALSE(TrySendMessage(peer.hwnd, test::kPeerEcho, 1, 1, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(FindWindow("QlmSsClass", "Quillmere Screen Saver"), 0u);
  EXPECT_FALSE(Exists(socket));
  EXPECT_FALSE(Exists(socket + ".id"));
}

TEST(RemoteWindow, ASendWhoseReceiverDiesOrClosesMidWayStillReturns) {
  EventLoop loop;
  Watchdog dog(std::chrono::seconds(20), loop.Id());
  Peer dying;
  ASSERT_TRUE(dying.Start("QlmSwClass", "Quillmere Slide Window"));
  LResult result = 5;
  EXPECT_FALSE(TrySendMessage(dying.hwnd, test::kPeerExit, 0, 0, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(dying.process.Wait(10000), 3);

  // A handler that destroys its own window still gets its answer back to the sender.
  Peer closing;
  ASSERT_TRUE(closing.Start("QlmSwClass", "Quillmere Slide Window"));
  EXPECT_TRUE(TrySendMessage(closing.hwnd, test::kPeerDestroySelf, 0, 0, &result));
  EXPECT_EQ(result, 77);
  EXPECT_EQ(closing.process.Wait(10000), 0);
  EXPECT_FALSE(IsWindow(closing.hwnd));
}

TEST(RemoteWindow, StaleEntriesOfEveryKindAreRemovedByTheLookUp) {
  EventLoop loop;
  const std::string folder = RuntimeFolder();
  ASSERT_FALSE(folder.empty());
  // A socket that was bound but no longer listens, as a crash leaves it, of another process id.
  const Hwnd foreign = (Hwnd{0x3FFFFF} << 32) | 0x12345;
  const std::string socket = WindowDirectory::SocketPath(foreign);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socket.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  ASSERT_TRUE(
      test::WriteFileBytes(socket + ".id", std::string("QlmSsClass\0Quillmere Screen Saver", 33)));
  // Entries of this very process id for a window that is not in the table (an earlier program
  // that had our process id).
  const Hwnd ours = (static_cast<Hwnd>(getpid()) << 32) | 0x7FFFFFFF;
  ASSERT_TRUE(test::WriteFileBytes(WindowDirectory::SocketPath(ours), ""));
  ASSERT_TRUE(test::WriteFileBytes(WindowDirectory::IdentityPath(ours),
                                   std::string("QlmSsClass\0Quillmere Screen Saver", 33)));
  // Files that are no window entries are left alone.
  ASSERT_TRUE(test::WriteFileBytes(folder + "w-notahandle", "x"));

  EXPECT_EQ(FindWindow("QlmSsClass", "Quillmere Screen Saver"), 0u);
  EXPECT_FALSE(Exists(socket));
  EXPECT_FALSE(Exists(socket + ".id"));
  EXPECT_FALSE(Exists(WindowDirectory::SocketPath(ours)));
  EXPECT_TRUE(Exists(folder + "w-notahandle"));
  EXPECT_EQ(WindowDirectory::HandleOfEntry("w-notahandle"), 0u);
  EXPECT_EQ(WindowDirectory::HandleOfEntry("w-0000000100010000"), 0x100010000u);
  EXPECT_EQ(WindowDirectory::HandleOfEntry("w-0000000100010000.id"), 0u);
  EXPECT_EQ(WindowDirectory::HandleOfEntry("w-00000001000100G0"), 0u);
}

TEST(RemoteWindow, PublishingNeedsAPollerAndRoomForTheSocketName) {
  // A loop without a Poller cannot serve a socket.
  class BareLoop final : public MessageLoop {
   public:
    explicit BareLoop(Clock& clock) : MessageLoop(clock) {}
    ~BareLoop() override { Shutdown(); }

   protected:
    void Wake() override {}
  };
  ManualClock clock;
  {
    BareLoop bare(clock);
    LambdaWindow window;
    ASSERT_TRUE(window.Create("QlmSwClass", "Quillmere Slide Window"));
    EXPECT_FALSE(window.Publish());
    EXPECT_EQ(errno, EOPNOTSUPP);
    EXPECT_FALSE(window.IsPublished());
  }
  EventLoop loop;
  LambdaWindow window;
  ASSERT_TRUE(window.Create("QlmSwClass", "Quillmere Slide Window"));
  test::TempDir deep;
  const std::string long_folder = deep.Path() + "/" + std::string(100, 'r');
  ASSERT_EQ(mkdir(long_folder.c_str(), 0700), 0);
  test::ScopedEnv runtime("XDG_RUNTIME_DIR", long_folder.c_str());
  EXPECT_FALSE(window.Publish());
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_EQ(FindWindow("QlmSwClass", ""), 0u);
}

// A toolkit's loop hosts a published window through the seam: it owns an EpollPoller, waits on
// its descriptor as a socket notifier would, and delivers with DispatchOne on its own thread.
class ToolkitLoop final : public MessageLoop {
 public:
  explicit ToolkitLoop(Clock& clock)
      : MessageLoop(clock), poller_(std::make_shared<EpollPoller>()) {}
  ~ToolkitLoop() override { Shutdown(); }

  Poller* GetPoller() override { return poller_.get(); }
  std::shared_ptr<Poller> SharePoller() override { return poller_; }

  // One turn of the toolkit's loop: wait up to `ms` on the poller's descriptor, serve what is
  // ready, deliver what waits.
  void Turn(int ms) {
    pollfd ready{poller_->Fd(), POLLIN, 0};
    if (poll(&ready, 1, ms) > 0) poller_->Wait(0);
    QueueDueTimers();
    while (DispatchOne()) {
    }
  }

 protected:
  void Wake() override {}

 private:
  std::shared_ptr<EpollPoller> poller_;
};

TEST(RemoteWindow, AWindowOnAToolkitLoopIsReachedFromAnotherProgram) {
  ManualClock clock;
  ToolkitLoop loop(clock);
  Watchdog dog;
  std::vector<WParam> pongs;
  LambdaWindow window([&](Message& msg) -> LResult {
    if (msg.message == test::kPeerPong) pongs.push_back(msg.wparam);
    return 0;
  });
  ASSERT_TRUE(window.Create("QlmSsClass", "Quillmere Screen Saver"));
  ASSERT_TRUE(window.Publish());
  Peer peer;
  ASSERT_TRUE(peer.Start("QlmSwClass", "Quillmere Slide Window"));
  for (int i = 0; i < 3; ++i) PostMessage(peer.hwnd, test::kPeerPing, i, window.Handle());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pongs.size() < 3 && std::chrono::steady_clock::now() < deadline) loop.Turn(50);
  EXPECT_EQ(pongs, (std::vector<WParam>{0, 1, 2}));
  PostMessage(peer.hwnd, WM_CLOSE);
  EXPECT_EQ(peer.process.Wait(10000), 0);
}

}  // namespace
}  // namespace qlm
