#pragma once

#include <vector>

#include "project/LinkRecord.h"
#include "project/PatrolQueue.h"

namespace qlm {

class CQLMDoc;

// int1 bit 2 of a record that a killed patrol held: its local copy may not hold what the patrol
// stored (a power loss can cut off a write that was not yet on the disk), so it is fetched in full,
// without IF-MODIFIED-SINCE. Links derived from it do not inherit the bit (the low four bits are
// cleared).
constexpr int32_t kFlagFetchInFull = 4;

// A record taken out of the work queue: first only read from its front (chain kMain), where it
// stays while the step that took it decides; a record that must outlive that step (a download,
// the deferred list) is then held (Hold) in the queue file's held chain, so that a patrol killed in
// the meantime finds it again: the next start puts every held record back at the front.
struct HeldRecord {
  LinkRecord record;
  PatrolQueue::NodeId node = 0;  // its node in `chain`
  PatrolQueue::Chain chain = PatrolQueue::Chain::kHeld;
};

// The patrol's use of the document's work queue and localize queue, ordered for crash safety:
// a record is copied before its old node is let go, so a kill between two steps can leave a record
// twice (it is then fetched again) but never loses one. Every operation holds the application
// lock, as the user interface reads the same files.
//
// A record whose results went into the mirror is let go of only when they are durable: at once in
// a patrol that is not durable, else after a sync of the mirror's file system (DoneWhenDurable,
// then Seal before the sync starts and SyncEnded after it ended).
class PatrolWork {
 public:
  PatrolWork(CQLMDoc& doc, bool durable);

  // Reads the front record of the work queue; it stays there until the caller is done with it
  // or holds it, before the next TakeNext. False when the queue is empty, or when it failed
  // (Failed() then tells). Records that do not decode are dropped.
  bool TakeNext(HeldRecord& held);
  // Moves a record read by TakeNext into the held chain (a held one stays as it is).
  bool Hold(HeldRecord& held);
  // False when nothing but records done with is left (they are then let go of).
  bool HasWork();
  // Puts the record (as it is now, changed or not) at the front of the work queue, then lets go
  // of the node it was taken from.
  bool Requeue(const HeldRecord& held);
  // Lets go of a record that is done with. A record read by TakeNext and done with at once (a
  // copy this patrol stored, say) is let go of together with the ones done after it, up to
  // kDoneRun of them: a kill in between makes the next patrol handle them again, which changes
  // nothing in the mirror. Every other change of the work queue lets go of them first.
  bool Done(const HeldRecord& held);
  static constexpr std::size_t kDoneRun = 64;
  bool Append(const LinkRecord& record);
  bool AppendAll(const std::vector<LinkRecord>& records);
  // Puts every held record of the work queue back at its front, in order.
  bool RestoreHeld();
  // The same at the start of a patrol: the records a killed patrol held are marked
  // kFlagFetchInFull on their way back.
  bool RestoreHeldForRefetch();
  bool ResetWork();

  bool AppendLocalize(const LinkRecord& record);
  // AppendLocalize for a page fetched by a download, whose records leave the work queue through
  // DoneWhenDurable: in a durable patrol it is written with others, up to kLocalizeRun of them, at
  // the latest when a sync begins (Seal) and so always before those records go; a kill before that
  // fetches the page again. In a patrol that is not durable it is written at once.
  bool AppendLocalizeWhenDurable(const LinkRecord& record);
  static constexpr std::size_t kLocalizeRun = 64;
  // Reads the next record of the localize queue: the first after those taken before that are still
  // there. A page being localised stays in the queue until it is done with (and its rewritten copy
  // durable), so a patrol killed meanwhile localises it again; rewriting a page twice gives the
  // same page. Records that do not decode are let go of with the next ones done.
  bool TakeLocalize(HeldRecord& held);
  // Lets go of a record taken by TakeLocalize at once.
  bool DoneLocalize(PatrolQueue::NodeId node);
  // Held localize records (of a patrol that was killed while earlier versions held them) go back to
  // the front of the localize queue.
  bool RestoreHeldLocalize();
  bool ResetLocalize();

  // Lets go of a held record of the work queue (or a record taken from the localize queue) once
  // the mirror writes made for it are durable.
  bool DoneWhenDurable(const HeldRecord& held);
  bool DoneLocalizeWhenDurable(PatrolQueue::NodeId node);
  // Records wait for a sync that has not begun.
  bool HasUnsealed() const { return !unsealed_.empty(); }
  std::size_t Unsealed() const { return unsealed_.size(); }
  // A sync begins: the records waiting so far are the ones it makes durable (the localize records
  // still in memory are written first).
  void Seal();
  // The sync ended: lets go of the sealed records. When it failed (`error`, an errno value) they
  // stay held, for the next patrol to fetch again, and the patrol must stop (Failed()).
  bool SyncEnded(int error);

  // Set by the first operation that failed on a queue file (a read or write error, a damaged
  // file) or sync: the patrol must stop, leaving the files as they are.
  bool Failed() const { return failed_; }

  // Records of either queue that did not decode and were let go of in this patrol.
  std::size_t Skipped() const { return skipped_; }

 private:
  // Unlinks the records done at the front of the work queue (done_front_); under the lock.
  bool LetGoOfDone();
  // The first record that decodes in the main chain of `queue` after the node `after` (from its
  // front when 0); the nodes of records on the way that do not decode are added to `undecoded`.
  // False at the end of the chain, or when a read failed (Failed() then tells).
  bool ReadAfter(PatrolQueue& queue, PatrolQueue::NodeId after, HeldRecord& held,
                 std::vector<PatrolQueue::NodeId>& undecoded);
  // Writes the localize records kept by AppendLocalizeWhenDurable.
  bool WriteLocalizeRun();
  bool Check(bool ok) {
    if (!ok) failed_ = true;
    return ok;
  }

  struct Waiting {
    PatrolQueue::NodeId node;
    bool localize;
  };

  CQLMDoc& doc_;
  std::size_t skipped_ = 0;
  const bool durable_;
  bool failed_ = false;
  // Records done with that still stand at the front of the work queue, in chain order, and the
  // node TakeNext read after them last (0 when none is outstanding).
  std::vector<PatrolQueue::NodeId> done_front_;
  PatrolQueue::NodeId taken_ = 0;
  // Localize records not yet written (AppendLocalizeWhenDurable).
  std::vector<LinkRecord> localize_run_;
  // Records taken from the localize queue that still stand at its front, in chain order.
  std::vector<PatrolQueue::NodeId> localize_taken_;
  // Held records that wait for the next sync (unsealed) and for the one under way (sealed).
  std::vector<Waiting> unsealed_;
  std::vector<Waiting> sealed_;
};

}  // namespace qlm
