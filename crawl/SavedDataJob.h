#pragma once

#include <memory>

#include "crawl/DLManager.h"
#include "crawl/SavedDataOperation.h"

namespace qlm {

// Runs a saved-data operation in a download manager window: kMsgSavedDataStart (with a
// PayloadValue<SavedDataRequest>) starts it, each step posts the message of the next one to the
// manager as one of its steps (DLManager::PostStep), and the last step ends the manager
// (kMsgPatrolEnded to the notify window). A stop request ends the operation at its next step.
class SavedDataJob final : public DLManager::SavedDataHandler {
 public:
  // The manager's factory for these handlers (DLManager::SetSavedDataFactory).
  static std::unique_ptr<DLManager::SavedDataHandler> Make(DLManager& manager);

  void Handle(DLManager& manager, Message& msg) override;

 private:
  void Continue(DLManager& manager, unsigned next);

  std::unique_ptr<SavedDataOperation> operation_;
};

}  // namespace qlm
