#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "platform/DeferredClose.h"
#include "platform/SpareSockets.h"

namespace qlm {
namespace {

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

bool ReadyReaches(std::size_t count) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (SpareSockets::Ready() < count) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(SpareSocketsTest, KeptWhileAKeeperLivesRefilledAtHalfAndClosedWithTheLastKeeper) {
  DeferredClose::Flush();  // sockets of tests before this one are closed now, not while it counts
  const std::size_t before = OpenDescriptors();
  EXPECT_EQ(SpareSockets::Take(), -1);  // nobody keeps any
  int kept = -1;
  {
    auto first = std::make_unique<SpareSockets::Keeper>();
    SpareSockets::Keeper second;
    ASSERT_TRUE(ReadyReaches(SpareSockets::kKept));

    // What is handed out is a TCP socket as WsSocket would make it.
    const int fd = SpareSockets::Take();
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    int type = 0;
    socklen_t size = sizeof type;
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size), 0);
    EXPECT_EQ(type, SOCK_STREAM);
    ::close(fd);

    // The take that leaves half wakes the thread, which fills up again.
    for (std::size_t i = 1; i < SpareSockets::kKept / 2; ++i) {
      const int taken = SpareSockets::Take();
      ASSERT_GE(taken, 0);
      ::close(taken);
    }
    EXPECT_TRUE(ReadyReaches(SpareSockets::kKept));

    first.reset();  // another keeper remains
    kept = SpareSockets::Take();
    EXPECT_GE(kept, 0);
  }
  EXPECT_EQ(SpareSockets::Ready(), 0u);
  EXPECT_EQ(SpareSockets::Take(), -1);
  EXPECT_EQ(OpenDescriptors(), before + 1);  // only the one taken: the rest were closed
  ::close(kept);

  // Kept again later, by a new keeper.
  SpareSockets::Keeper again;
  EXPECT_TRUE(ReadyReaches(1));
}

}  // namespace
}  // namespace qlm
