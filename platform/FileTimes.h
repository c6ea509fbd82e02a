#pragma once

#include <sys/stat.h>

#include <chrono>

namespace qlm {

// The last-write time a stat tells, to the nanosecond.
inline std::chrono::system_clock::time_point WriteTimeOf(const struct stat& st) {
  const auto since_epoch =
      std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(since_epoch));
}

}  // namespace qlm
