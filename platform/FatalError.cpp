#include "platform/FatalError.h"

#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace qlm {

namespace {

std::mutex reporter_mutex;
FatalErrorReporter reporter;  // guarded by reporter_mutex; empty means the default

// The system's texts are Shift_JIS; a terminal most likely is not. Text that does not convert is
// written as it stands rather than lost.
std::string ForTerminal(const std::string& text) {
  std::setlocale(LC_CTYPE, "");
  const char* charset = nl_langinfo(CODESET);
  iconv_t cd = iconv_open(charset && *charset ? charset : "UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out(text.size() * 4 + 16, '\0');
  char* in_ptr = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  const size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return text;
  out.resize(out.size() - out_left);
  return out;
}

void ReportOnStderr(const std::string& title, const std::string& text) {
  const std::string line = ForTerminal(title) + ": " + ForTerminal(text) + "\n";
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
