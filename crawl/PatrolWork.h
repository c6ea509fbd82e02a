#pragma once

#include "project/LinkRecord.h"
#include "project/PatrolQueue.h"

namespace qlm {

class CQLMDoc;

// A record taken out of a queue for a while (a download, the deferred list, a localization step).
// Until it is done or requeued it stays in the queue file's held chain, so that a patrol killed in
// the meantime finds it again: the next start puts every held record back at the front.
struct HeldRecord {
  LinkRecord record;
  PatrolQueue::NodeId node = 0;  // its node in the held chain
};

// The patrol's use of the document's work queue and localize queue, ordered for crash safety:
// a record is copied before its old node is let go, so a kill between two steps can leave a record
// twice (it is then fetched again) but never loses one. Every operation holds the application
// lock, as the user interface reads the same files.
class PatrolWork {
 public:
  explicit PatrolWork(CQLMDoc& doc);

  // Takes the front record of the work queue into the held chain. False when the queue is empty,
  // or when it failed (Failed() then tells). Records that do not decode are dropped.
  bool TakeNext(HeldRecord& held);
  bool HasWork() const;
  // Puts `record` (as it is now, changed or not) at the front of the work queue, then lets go of
  // the held node it was taken from.
  bool Requeue(const LinkRecord& record, PatrolQueue::NodeId node);
  // Lets go of a held record that is done with.
  bool Done(PatrolQueue::NodeId node);
  bool Append(const LinkRecord& record);
  // Puts every held record of the work queue back at its front, in order.
  bool RestoreHeld();
  bool ResetWork();

  bool AppendLocalize(const LinkRecord& record);
  bool TakeLocalize(HeldRecord& held);
  bool DoneLocalize(PatrolQueue::NodeId node);
  // Held localize records of a patrol that was killed go back to the front of the localize queue.
  bool RestoreHeldLocalize();
  bool ResetLocalize();

  // Set by the first operation that failed on a queue file (a read or write error, a damaged
  // file): the patrol must stop, leaving the files as they are.
  bool Failed() const { return failed_; }

 private:
  bool Take(PatrolQueue& queue, HeldRecord& held);
  bool Check(bool ok) {
    if (!ok) failed_ = true;
    return ok;
  }

  CQLMDoc& doc_;
  bool failed_ = false;
};

}  // namespace qlm
