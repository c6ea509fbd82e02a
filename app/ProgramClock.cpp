#include "app/ProgramClock.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/AppMessages.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/MonotonicClock.h"
#include "platform/Window.h"
#include "project/ClockWallClock.h"
#include "project/SystemWallClock.h"

namespace qlm {

namespace {

constexpr std::uint64_t kAnswerTimer = 1;

bool SendAll(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

// Reads the test's commands on a thread of its own and carries them out on the loop's thread.
class ProgramClock::Channel final : public Window, public ProgramClock::Control {
 public:
  Channel(ProgramClock& clock) : clock_(clock) {}
  ~Channel() override {
    // The reader wakes from its read when the socket is shut down.
    ::shutdown(clock_.fd_, SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
    Destroy();
  }

  bool Start() {
    if (!Create()) return false;
    Answer("ready");
    const Hwnd self = Handle();
    const int fd = clock_.fd_;
    reader_ = std::thread([self, fd] { Read(self, fd); });
    return true;
  }

 protected:
  LResult WindowProc(Message& msg) override {
    if (msg.message == kMsgAdvance) {
      clock_.manual_->Advance(static_cast<std::int64_t>(msg.wparam));
      // A timer due now runs after every timer that came due by the move, which were set before.
      SetTimer(Handle(), kAnswerTimer, 0);
    } else if (msg.message == WM_TIMER && msg.wparam == kAnswerTimer) {
      KillTimer(Handle(), kAnswerTimer);
      Answer("now");
    }
    return 0;
  }

 private:
  void Answer(const char* word) {
    SendAll(clock_.fd_,
            std::string(word) + " " + std::to_string(clock_.wall_->NowSeconds()) + "\n");
  }

  static void Read(Hwnd window, int fd) {
    std::string pending;
    char buffer[256];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      pending.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        constexpr std::string_view kAdvance = "advance ";
        if (line.compare(0, kAdvance.size(), kAdvance) != 0) continue;
        const long long ms = std::strtoll(line.c_str() + kAdvance.size(), nullptr, 10);
        if (ms >= 0) PostMessage(window, kMsgAdvance, static_cast<WParam>(ms));
      }
    }
  }

  ProgramClock& clock_;
  std::thread reader_;
};

std::unique_ptr<ProgramClock> ProgramClock::Make(std::string* error) {
  std::unique_ptr<ProgramClock> clock(new ProgramClock());
  const char* value = std::getenv(kVariable);
  if (!value || !*value) {
    clock->wall_ = std::make_unique<SystemWallClock>();
    clock->loop_clock_ = &MonotonicClock::Instance();
    return clock;
  }
  const std::string text = value;
  const std::size_t at = text.find('@');
  char* end = nullptr;
  const long long epoch = std::strtoll(text.c_str(), &end, 10);
  const std::string path = at == std::string::npos ? std::string() : text.substr(at + 1);
  sockaddr_un address{};
  if (at == std::string::npos || end != text.c_str() + at || path.empty() ||
      path.size() >= sizeof address.sun_path) {
    *error = std::string(kVariable) + " must be EPOCH@SOCKET";
    return nullptr;
  }
  clock->fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (clock->fd_ < 0 ||
      ::connect(clock->fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = std::string(kVariable) + ": cannot connect to " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  clock->manual_ = std::make_unique<ManualClock>();
  clock->wall_ = std::make_unique<ClockWallClock>(*clock->manual_, epoch);
  clock->loop_clock_ = clock->manual_.get();
  return clock;
}

ProgramClock::~ProgramClock() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<ProgramClock::Control> ProgramClock::Serve() {
  if (!manual_) return nullptr;
  auto channel = std::make_unique<Channel>(*this);
  if (!channel->Start()) return nullptr;
  return channel;
}

}  // namespace qlm
