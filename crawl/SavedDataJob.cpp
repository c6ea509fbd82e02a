#include "crawl/SavedDataJob.h"

#include "crawl/CrawlMessages.h"

namespace qlm {

std::unique_ptr<DLManager::SavedDataHandler> SavedDataJob::Make(DLManager&) {
  return std::make_unique<SavedDataJob>();
}

void SavedDataJob::Handle(DLManager& manager, Message& msg) {
  if (msg.message == kMsgSavedDataStart) {
    if (operation_) return;  // one operation per manager; a second request is dropped
    auto request = msg.TakePayload<PayloadValue<SavedDataRequest>>();
    operation_ =
        std::make_unique<SavedDataOperation>(manager.Doc(), manager.Store(), manager.Events());
    Continue(manager, operation_->Start(request ? request->value : SavedDataRequest{}));
    return;
  }
  if (!operation_) return;
  if (manager.StopRequested()) operation_->Stop();
  Continue(manager, operation_->Step(msg.message));
}

void SavedDataJob::Continue(DLManager& manager, unsigned next) {
  if (next == 0) {
    manager.EndPatrol();
    return;
  }
  manager.PostStep(next);
}

}  // namespace qlm
