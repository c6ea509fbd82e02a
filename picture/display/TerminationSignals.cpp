#include "picture/display/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <utility>

namespace qlm {

namespace {

int g_signal_pipe[2] = {-1, -1};  // written by the handler, read on the Qt thread

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // Only async-signal-safe calls here; a full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t n = write(g_signal_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool TerminationSignals::Install(std::function<void()> on_signal) {
  if (g_signal_pipe[0] >= 0) return false;
  if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  auto* notifier =
      new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                   [handler = std::move(on_signal)] {
                     char buf[16];
                     while (read(g_signal_pipe[0], buf, sizeof buf) > 0) {
                     }
                     if (handler) handler();
                   });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
  return true;
}

}  // namespace qlm
