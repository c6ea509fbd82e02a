#include "crawl/PatrolWork.h"

#include <mutex>
#include <string>

#include "platform/ApplicationLock.h"
#include "project/CQLMDoc.h"

namespace qlm {

using Chain = PatrolQueue::Chain;

PatrolWork::PatrolWork(CQLMDoc& doc) : doc_(doc) {}

bool PatrolWork::Take(PatrolQueue& queue, HeldRecord& held) {
  std::lock_guard lock(ApplicationLock());
  std::string data;
  PatrolQueue::NodeId node = 0;
  while (queue.HoldFront(data, node)) {
    if (LinkRecord::Decode(data, queue.FileVersion(), held.record)) {
      held.node = node;
      return true;
    }
    if (!Check(queue.Remove(node, Chain::kHeld))) return false;
  }
  // An empty chain is no failure; anything else is.
  Check(queue.Error() == 0);
  return false;
}

bool PatrolWork::TakeNext(HeldRecord& held) {
  return Take(doc_.WorkQueue(), held);
}

bool PatrolWork::HasWork() const {
  std::lock_guard lock(ApplicationLock());
  return !doc_.WorkQueue().IsEmpty(Chain::kMain);
}

bool PatrolWork::Requeue(const LinkRecord& record, PatrolQueue::NodeId node) {
  std::lock_guard lock(ApplicationLock());
  PatrolQueue& queue = doc_.WorkQueue();
  return Check(queue.InsertFront(record)) && Check(queue.Remove(node, Chain::kHeld));
}

bool PatrolWork::Done(PatrolQueue::NodeId node) {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.WorkQueue().Remove(node, Chain::kHeld));
}

bool PatrolWork::Append(const LinkRecord& record) {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.WorkQueue().Append(record));
}

bool PatrolWork::RestoreHeld() {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.WorkQueue().RestoreHeld());
}

bool PatrolWork::ResetWork() {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.WorkQueue().Reset());
}

bool PatrolWork::AppendLocalize(const LinkRecord& record) {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.LocalizeQueue().Append(record));
}

bool PatrolWork::TakeLocalize(HeldRecord& held) {
  return Take(doc_.LocalizeQueue(), held);
}

bool PatrolWork::DoneLocalize(PatrolQueue::NodeId node) {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.LocalizeQueue().Remove(node, Chain::kHeld));
}

bool PatrolWork::RestoreHeldLocalize() {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.LocalizeQueue().RestoreHeld());
}

bool PatrolWork::ResetLocalize() {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.LocalizeQueue().Reset());
}

}  // namespace qlm
