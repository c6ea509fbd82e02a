#include "crawl/PatrolWork.h"

#include <mutex>
#include <string>

#include "platform/ApplicationLock.h"
#include "project/CQLMDoc.h"

namespace qlm {

using Chain = PatrolQueue::Chain;

PatrolWork::PatrolWork(CQLMDoc& doc, bool durable) : doc_(doc), durable_(durable) {}

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

bool PatrolWork::RestoreHeldForRefetch() {
  std::lock_guard lock(ApplicationLock());
  PatrolQueue& queue = doc_.WorkQueue();
  return Check(queue.RestoreHeld([&queue](std::string_view data) {
    LinkRecord record;
    if (!LinkRecord::Decode(data, queue.FileVersion(), record)) return std::string(data);
    record.flags |= kFlagFetchInFull;
    return record.Encode();
  }));
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

bool PatrolWork::DoneWhenDurable(PatrolQueue::NodeId node) {
  if (!durable_) return Done(node);
  unsealed_.push_back({node, false});
  return true;
}

bool PatrolWork::DoneLocalizeWhenDurable(PatrolQueue::NodeId node) {
  if (!durable_) return DoneLocalize(node);
  unsealed_.push_back({node, true});
  return true;
}

void PatrolWork::Seal() {
  sealed_.insert(sealed_.end(), unsealed_.begin(), unsealed_.end());
  unsealed_.clear();
}

bool PatrolWork::SyncEnded(int error) {
  if (error != 0) {
    sealed_.clear();
    return Check(false);
  }
  bool ok = true;
  for (const Waiting& waiting : sealed_) {
    ok = (waiting.localize ? DoneLocalize(waiting.node) : Done(waiting.node)) && ok;
  }
  sealed_.clear();
  return ok;
}

}  // namespace qlm
