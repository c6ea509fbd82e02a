#include "crawl/MirrorCheckpoint.h"

#include "crawl/MirrorFiles.h"
#include "platform/Messaging.h"

namespace qlm {

MirrorCheckpoint::MirrorCheckpoint(std::string folder) : folder_(std::move(folder)) {}

MirrorCheckpoint::~MirrorCheckpoint() {
  Finish();
}

bool MirrorCheckpoint::Start(Hwnd notify, unsigned message) {
  if (thread_.joinable()) return false;
  // The thread shares nothing with the loop but the folder name it copied and the posted result.
  thread_ = std::thread([folder = folder_, notify, message] {
    const int error = SyncFileSystem(folder);
    PostMessage(notify, message, static_cast<WParam>(error), 0);
  });
  return true;
}

void MirrorCheckpoint::Finish() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace qlm
