#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/MadeAhead.h"

namespace qlm {

// Empty files made ahead in a folder, for downloads to write their bodies into. Making a file is
// the costliest file-system step of storing a download (the file system searches for a free inode,
// and ext4 without a journal steps over every inode freed in the last minute or more); a thread
// that keeps a few ready takes that off the network worker.
// Each round of making goes to the other of two folders: the work folder and its subfolder
// kSpareFolderName. A file made in a folder holds that folder's lock while the file system
// searches, and moving a taken file into the mirror needs the lock of the folder it leaves; the
// files taken while a round is made are those of the round before, from the other folder.
// The files are named kSpareName and a number (RemoveTemporaryFiles removes what a killed patrol
// leaves, and the subfolder); those not taken go when the object does, and the subfolder with them
// when no taken file is left in it.
class SpareFiles {
 public:
  struct File {
    std::string path;
    int fd = -1;  // open for writing, now the taker's to close
  };
  static constexpr std::size_t kKept = 32;

  // `folder` ends in "/". The thread starts making files at once.
  explicit SpareFiles(std::string folder);

  // A made file, or nullopt when none is ready (the caller makes its own then). Once a file could
  // not be made, no more are.
  std::optional<File> Take() { return files_.Take(); }

 private:
  // Removes the subfolder when it goes, after the files (it stays while it holds any).
  struct SideFolder {
    std::string path;  // ends in "/"
    bool made = false;
    ~SideFolder();
  };

  void BeginFill();
  MadeAhead<File>::Outcome Make(File& file);

  const std::string folder_;
  SideFolder side_;
  const std::string* making_in_ = &folder_;  // the making thread's own, as is next_
  unsigned next_ = 1;                        // number of the next file to make
  MadeAhead<File> files_;                    // last: its thread starts on the members above
};

}  // namespace qlm
