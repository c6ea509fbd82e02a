#pragma once

#include <string>
#include <thread>

#include "platform/Message.h"

namespace qlm {

// One sync of the mirror's file system at a time, in the background. A patrol makes its mirror
// writes durable in groups this way: a record whose files were written stays in its queue's held
// chain until a sync that began after the writes has ended, so that after a power loss it is still
// there and is fetched again; one sync covers every record that finished since the one before,
// instead of a flush for every file, and downloads go on while it runs.
//
// Start() begins a sync on a thread of its own; when the sync has returned, the thread posts
// kMsgSynced to the given window (wParam: 0 or the errno value) and ends. The window's handler
// calls Finish() to collect it before it starts the next one.
class MirrorCheckpoint {
 public:
  // `folder` names the file system (the project's work folder).
  explicit MirrorCheckpoint(std::string folder);
  ~MirrorCheckpoint();  // waits for a sync under way
  MirrorCheckpoint(const MirrorCheckpoint&) = delete;
  MirrorCheckpoint& operator=(const MirrorCheckpoint&) = delete;

  // False (nothing started) while the last sync has not been collected.
  bool Start(Hwnd notify, unsigned message);
  void Finish();
  bool Running() const { return thread_.joinable(); }

 private:
  std::string folder_;
  std::thread thread_;  // joinable from Start to Finish
};

}  // namespace qlm
