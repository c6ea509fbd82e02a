#include "platform/FatalError.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/TerminalText.h"

namespace qlm {

namespace {

std::mutex reporter_mutex;
FatalErrorReporter reporter;  // guarded by reporter_mutex; empty means the default

void ReportOnStderr(const std::string& title, const std::string& text) {
  const std::string line = TerminalText(title) + ": " + TerminalText(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void SetFatalErrorReporter(FatalErrorReporter new_reporter) {
  std::lock_guard lock(reporter_mutex);
  reporter = std::move(new_reporter);
}

void FatalAppExit(const std::string& title, const std::string& text) {
  FatalErrorReporter show;
  {
    std::lock_guard lock(reporter_mutex);
    show = reporter;
  }
  if (show) {
    show(title, text);
  } else {
    ReportOnStderr(title, text);
  }
  // Other threads may still be running; destructors of static objects must not run under them.
  std::fflush(nullptr);
  std::_Exit(1);
}

}  // namespace qlm
