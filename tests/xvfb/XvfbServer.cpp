#include "tests/xvfb/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace qlm::test {

namespace {

bool OnPath(const char* tool) {
  return RunCommand(std::string("command -v ") + tool + " 2>/dev/null").size() > 0;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// True when the display's socket takes a connection.
bool Accepts(const std::string& number) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "/tmp/.X11-unix/X%s", number.c_str());
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  std::array<char, 4096> chunk;
  size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), n);
  return ::pclose(pipe) == 0 ? output : std::string();
}

std::string XvfbServer::MissingTool() {
  for (const char* tool : {"Xvfb", "import", "xdotool"}) {
    if (!OnPath(tool)) return tool;
  }
  return std::string();
}

XvfbServer::~XvfbServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool XvfbServer::Start(int width, int height) {
  // Servers started side by side (tests run in parallel) look for a free display at the same time,
  // and one could take the socket name of the display another had just found: one start at a
  // time, each ending when its display takes connections.
  const int lock = ::open("/tmp/qlm-xvfb-start.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lock >= 0) ::flock(lock, LOCK_EX);
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) started = StartOnce(width, height);
  if (lock >= 0) ::close(lock);
  return started;
}

bool XvfbServer::StartOnce(int width, int height) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_ = ::fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    // Xvfb writes the number of the display it found free to the descriptor it is given.
    // -noreset: by default the server resets each time its last client leaves, and a client that
    // connects during the reset is refused. The tests' clients come and go (xdotool, xprop,
    // import, QLM), so a program could fail to open the display a moment after the test's own
    // tool had closed it: 54 of 2,000 back-to-back connections failed without it, none with it.
    const int fd = ::dup(fds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd_text = std::to_string(fd);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", screen.c_str(),
             "-nolisten", "tcp", "-wr", "-noreset", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string number;
  pollfd wait{fds[0], POLLIN, 0};
  while (::poll(&wait, 1, 10000) > 0) {
    char c;
    if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  bool accepts = false;
  for (int wait = 0; wait < 40 && !number.empty() && !(accepts = Accepts(number)); ++wait) {
    ::usleep(50000);
  }
  if (!accepts) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return false;
  }
  display_ = ":" + number;
  ::setenv("DISPLAY", display_.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  return true;
}

QImage XvfbServer::Shot(const std::string& name) const {
  const char* keep = std::getenv("QLM_SCREENSHOT_DIR");
  const bool kept = keep != nullptr && *keep != '\0' && !name.empty();
  const std::string path = kept ? std::string(keep) + "/" + name + ".png"
                                : std::string(std::getenv("HOME")) + "/shot.png";
  RunCommand("import -window root " + Quoted(path));
  QImage image(QString::fromStdString(path));
  if (!kept) ::unlink(path.c_str());
  return image.convertToFormat(QImage::Format_RGB32);
}

void MouseMove(int x, int y) {
  RunCommand("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
}

void Click(int x, int y, int button) {
  RunCommand("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " +
             std::to_string(button));
}

void DoubleClick(int x, int y) {
  RunCommand("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
             " click --repeat 2 --delay 80 1");
}

void PressKeys(const std::string& keys) {
  RunCommand("xdotool key --delay 60 " + keys);
}

unsigned long FindXWindow(const std::string& title) {
  const std::string out = RunCommand("xdotool search --onlyvisible --name " +
                                     Quoted("^" + title + "$") + " 2>/dev/null");
  return std::strtoul(out.c_str(), nullptr, 10);
}

QRect XWindowGeometry(unsigned long window) {
  if (window == 0) return QRect();
  std::istringstream out(RunCommand("xdotool getwindowgeometry --shell " + std::to_string(window)));
  int x = 0, y = 0, width = 0, height = 0;
  std::string line;
  while (std::getline(out, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const int value = std::atoi(line.c_str() + eq + 1);
    if (key == "X") x = value;
    if (key == "Y") y = value;
    if (key == "WIDTH") width = value;
    if (key == "HEIGHT") height = value;
  }
  return QRect(x, y, width, height);
}

bool WaitUntil(const std::function<bool()>& done, int limit_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace qlm::test
