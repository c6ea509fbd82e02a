#include "crawl/PatrolWork.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "platform/ApplicationLock.h"
#include "project/CQLMDoc.h"

namespace qlm {

using Chain = PatrolQueue::Chain;

PatrolWork::PatrolWork(CQLMDoc& doc, bool durable) : doc_(doc), durable_(durable) {}

namespace {

std::vector<std::string> EncodeAll(const std::vector<LinkRecord>& records) {
  std::vector<std::string> encoded;
  encoded.reserve(records.size());
  for (const LinkRecord& record : records) encoded.push_back(record.Encode());
  return encoded;
}

}  // namespace

bool PatrolWork::ReadAfter(PatrolQueue& queue, PatrolQueue::NodeId after, HeldRecord& held,
                           std::vector<PatrolQueue::NodeId>& undecoded) {
  std::string data;
  PatrolQueue::NodeId node = 0;
  while (after == 0 ? queue.PeekFront(data, node) : queue.PeekAfter(after, data, node)) {
    if (LinkRecord::Decode(data, queue.FileVersion(), held.record)) {
      held.node = node;
      held.chain = Chain::kMain;
      return true;
    }
    undecoded.push_back(node);
    ++skipped_;
    after = node;
  }
  // The end of the chain is no failure; anything else is.
  Check(queue.Error() == 0);
  return false;
}

bool PatrolWork::TakeNext(HeldRecord& held) {
  std::lock_guard lock(ApplicationLock());
  PatrolQueue& queue = doc_.WorkQueue();
  taken_ = 0;
  // The first record after those done with at the front; one that does not decode goes with them.
  if (ReadAfter(queue, done_front_.empty() ? 0 : done_front_.back(), held, done_front_)) {
    taken_ = held.node;
    return true;
  }
  // The end of the queue: the records done with go now.
  if (queue.Error() == 0) LetGoOfDone();
  return false;
}

bool PatrolWork::LetGoOfDone() {
  taken_ = 0;
  if (done_front_.empty()) return true;
  std::vector<PatrolQueue::NodeId> nodes;
  nodes.swap(done_front_);
  return Check(doc_.WorkQueue().RemoveAll(std::move(nodes), Chain::kMain));
}

bool PatrolWork::Hold(HeldRecord& held) {
  std::lock_guard lock(ApplicationLock());
  if (!LetGoOfDone()) return false;
  if (held.chain == Chain::kHeld) return true;
  PatrolQueue::NodeId node = 0;
  if (!Check(doc_.WorkQueue().Hold(held.node, held.record.Encode(), node))) return false;
  held.node = node;
  held.chain = Chain::kHeld;
  return true;
}

bool PatrolWork::HasWork() {
  std::lock_guard lock(ApplicationLock());
  if (doc_.WorkQueue().Count(Chain::kMain) > done_front_.size()) return true;
  // Only records done with are left: the queue is let go of, and cut back when it is empty.
  LetGoOfDone();
  return false;
}

bool PatrolWork::Requeue(const HeldRecord& held) {
  std::lock_guard lock(ApplicationLock());
  PatrolQueue& queue = doc_.WorkQueue();
  return LetGoOfDone() && Check(queue.InsertFront(held.record)) &&
         Check(queue.Remove(held.node, held.chain));
}

bool PatrolWork::Done(const HeldRecord& held) {
  std::lock_guard lock(ApplicationLock());
  if (held.chain == Chain::kMain && held.node != 0 && held.node == taken_) {
    done_front_.push_back(held.node);
    taken_ = 0;
    return done_front_.size() < kDoneRun || LetGoOfDone();
  }
  return LetGoOfDone() && Check(doc_.WorkQueue().Remove(held.node, held.chain));
}

bool PatrolWork::Append(const LinkRecord& record) {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.WorkQueue().Append(record));
}

bool PatrolWork::AppendAll(const std::vector<LinkRecord>& records) {
  const std::vector<std::string> encoded = EncodeAll(records);
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.WorkQueue().AppendAll(encoded));
}

bool PatrolWork::RestoreHeld() {
  std::lock_guard lock(ApplicationLock());
  return LetGoOfDone() && Check(doc_.WorkQueue().RestoreHeld());
}

bool PatrolWork::RestoreHeldForRefetch() {
  std::lock_guard lock(ApplicationLock());
  if (!LetGoOfDone()) return false;
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
  done_front_.clear();
  taken_ = 0;
  return Check(doc_.WorkQueue().Reset());
}

bool PatrolWork::AppendLocalize(const LinkRecord& record) {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.LocalizeQueue().Append(record));
}

bool PatrolWork::AppendLocalizeWhenDurable(const LinkRecord& record) {
  if (!durable_) return AppendLocalize(record);
  if (failed_) return false;
  localize_run_.push_back(record);
  return localize_run_.size() < kLocalizeRun || WriteLocalizeRun();
}

bool PatrolWork::WriteLocalizeRun() {
  if (localize_run_.empty()) return true;
  const std::vector<std::string> encoded = EncodeAll(localize_run_);
  localize_run_.clear();
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.LocalizeQueue().AppendAll(encoded));
}

bool PatrolWork::TakeLocalize(HeldRecord& held) {
  std::lock_guard lock(ApplicationLock());
  if (!WriteLocalizeRun()) return false;
  std::vector<PatrolQueue::NodeId> undecoded;
  const bool found = ReadAfter(
      doc_.LocalizeQueue(), localize_taken_.empty() ? 0 : localize_taken_.back(), held, undecoded);
  // Records that do not decode are let go of as if they were localised.
  for (const PatrolQueue::NodeId node : undecoded) {
    localize_taken_.push_back(node);
    if (!DoneLocalizeWhenDurable(node)) return false;
  }
  if (found) localize_taken_.push_back(held.node);
  return found;
}

bool PatrolWork::DoneLocalize(PatrolQueue::NodeId node) {
  std::lock_guard lock(ApplicationLock());
  std::erase(localize_taken_, node);
  return Check(doc_.LocalizeQueue().Remove(node, Chain::kMain));
}

bool PatrolWork::RestoreHeldLocalize() {
  std::lock_guard lock(ApplicationLock());
  return Check(doc_.LocalizeQueue().RestoreHeld());
}

bool PatrolWork::ResetLocalize() {
  std::lock_guard lock(ApplicationLock());
  localize_taken_.clear();
  return Check(doc_.LocalizeQueue().Reset());
}

bool PatrolWork::DoneWhenDurable(const HeldRecord& held) {
  if (!durable_ || held.chain != Chain::kHeld) return Done(held);
  unsealed_.push_back({held.node, false});
  return true;
}

bool PatrolWork::DoneLocalizeWhenDurable(PatrolQueue::NodeId node) {
  if (!durable_) return DoneLocalize(node);
  unsealed_.push_back({node, true});
  return true;
}

void PatrolWork::Seal() {
  WriteLocalizeRun();  // a failure stops the patrol (Failed()); the sync ending keeps its records
  sealed_.insert(sealed_.end(), unsealed_.begin(), unsealed_.end());
  unsealed_.clear();
}

bool PatrolWork::SyncEnded(int error) {
  if (error != 0 || failed_) {
    sealed_.clear();
    return Check(false);
  }
  // The sealed records were mostly held (or taken from the localize queue) one after another, so
  // they stand together at the front of their chains: unlinked together, a run of them costs two
  // writes, not two each.
  std::vector<PatrolQueue::NodeId> work_nodes;
  std::vector<PatrolQueue::NodeId> localize_nodes;
  for (const Waiting& waiting : sealed_) {
    (waiting.localize ? localize_nodes : work_nodes).push_back(waiting.node);
  }
  sealed_.clear();
  std::lock_guard lock(ApplicationLock());
  const bool work_ok = Check(doc_.WorkQueue().RemoveAll(std::move(work_nodes), Chain::kHeld));
  std::vector<PatrolQueue::NodeId> done = localize_nodes;
  std::sort(done.begin(), done.end());
  std::erase_if(localize_taken_, [&done](PatrolQueue::NodeId node) {
    return std::binary_search(done.begin(), done.end(), node);
  });
  return Check(doc_.LocalizeQueue().RemoveAll(std::move(localize_nodes), Chain::kMain)) && work_ok;
}

}  // namespace qlm
