#include "crawl/FileStamp.h"

#include <time.h>

#include <chrono>
#include <thread>

namespace qlm {

namespace {

std::chrono::nanoseconds Read(clockid_t clock) {
  timespec ts{};
  ::clock_gettime(clock, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

}  // namespace

FileTime FileStampNow() {
  // Files are stamped with the coarse clock or, on file systems with fine-grained stamps, with the
  // precise one; neither is ahead of the precise clock, so a file written so far is not later than
  // `now`, and once the coarse clock has passed `now` every new stamp is later.
  const std::chrono::nanoseconds now = Read(CLOCK_REALTIME);
  while (Read(CLOCK_REALTIME_COARSE) <= now) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return FileTime(std::chrono::duration_cast<FileTime::duration>(now));
}

}  // namespace qlm
