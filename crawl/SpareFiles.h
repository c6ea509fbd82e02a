#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qlm {

// Empty files made ahead in a folder by a thread of their own, for downloads to write their
// bodies into. Making a file is the costliest file-system step of storing a download (the file
// system searches for a free inode, and ext4 without a journal steps over every inode freed in the
// last minute or more); a thread that keeps a few ready takes that off the network worker. It is
// woken only when half of them are gone, as a wakeup per file would cost about as much as the file.
// The files are named kSpareName and a number (RemoveTemporaryFiles removes what a killed patrol
// leaves); those not taken go when the object does.
class SpareFiles {
 public:
  struct File {
    std::string path;
    int fd = -1;  // open for writing, now the taker's to close
  };
  static constexpr std::size_t kKept = 32;

  // `folder` ends in "/". The thread starts making files at once.
  explicit SpareFiles(std::string folder);
  ~SpareFiles();
  SpareFiles(const SpareFiles&) = delete;
  SpareFiles& operator=(const SpareFiles&) = delete;

  // A made file, or nullopt when none is ready (the caller makes its own then). Once a file could
  // not be made, no more are.
  std::optional<File> Take();

 private:
  void Run();

  const std::string folder_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<File> ready_;
  unsigned next_ = 1;  // number of the next file to make
  bool asked_ = true;  // the thread is to fill up the files
  bool failed_ = false;
  bool quit_ = false;
  std::thread thread_;  // last: it starts on the members above
};

}  // namespace qlm
