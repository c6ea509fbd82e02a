#pragma once

#include <cstddef>
#include <filesystem>

namespace qlm::test {

// The threads of this process now, as the kernel lists them.
inline std::size_t ThreadsOfThisProcess() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

}  // namespace qlm::test
