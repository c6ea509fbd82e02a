#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "crawl/LinkAdmission.h"
#include "crawl/MirrorFiles.h"
#include "project/LinkRecord.h"
#include "project/PatrolQueue.h"

namespace qlm {

class CQLMDoc;
class MirrorStore;
class PatrolEvents;
class ProjectItem;

// What the status view asks a download manager to do with an item's saved data: the payload of
// kMsgSavedDataStart, as a PayloadValue<SavedDataRequest>. The item belongs to the manager's
// document and must stay until the manager has ended.
struct SavedDataRequest {
  enum Operation : int { kDelete = 0, kCopy = 1, kMove = 2 };
  int operation = kDelete;
  const ProjectItem* item = nullptr;
  // Copy and move: the folder that takes the item's place in the mirror; an absolute path.
  std::string destination;
};

// Deletes, copies or moves the saved data of a project item, one step per message, on the
// network worker thread (in a download manager window).
//
// A URL item's saved data are the stored files of the URLs a patrol of the item would follow
// from its stored pages, with their sites' robots.txt copies. A folder item's saved data are its
// folder in the mirror with everything below it. Copy and move keep the layout below the folder
// that holds the item: a URL item's files land below the destination by host and path, a folder
// item's folder lands below it by its own name. Delete and move remove the folders they empty.
//
// Steps: Start, then collect steps (kMsgCollectUrl or kMsgCollectFolder) until the collect list
// is empty, then operation steps (kMsgOperateUrl or kMsgOperateFolder) until the operation list
// is empty, then the end. The lists are the project's collect (".det") and operation (".del")
// files, so their contents are on disk while the operation runs; they are deleted at the end.
// Every record made is reported as Detected, every URL or folder worked on as Handling, every
// finished one as Visited (Failed when its files could not be deleted, copied or moved). The end
// is the owner's to report (the manager's EndPatrol): a step that returns 0 has ended.
class SavedDataOperation {
 public:
  enum Error : int {
    kOk = 0,
    kBadRequest = -1,  // no item, an unknown operation, or a destination that is not absolute
    kListFailed = -9,  // the collect and operation lists cannot be placed in the work folder
  };

  // The document (its tree, options and name), the store and the events must outlive the
  // operation. The lists live in the work folder of the document's project.
  SavedDataOperation(const CQLMDoc& doc, const MirrorStore& store, PatrolEvents& events);
  // An operation that has not ended drops its lists.
  ~SavedDataOperation();
  SavedDataOperation(const SavedDataOperation&) = delete;
  SavedDataOperation& operator=(const SavedDataOperation&) = delete;

  // kMsgSavedDataStart: opens the lists empty and queues the item's first record. Returns the
  // message of the next step, or 0 when the operation has ended already (Error() says why, or
  // there was nothing to do).
  unsigned Start(const SavedDataRequest& request);
  // Runs the step of one step message and returns the message of the next step, or 0 when the
  // operation has ended. A step after a Stop ends the operation.
  unsigned Step(unsigned message);
  // Asks the operation to end at its next step; the lists are dropped.
  void Stop() { stop_ = true; }
  // Start and every step at once; for callers without a message loop.
  void Run(const SavedDataRequest& request);

  // The URLs of the forbidden URL items of the tree, as entered: a patrol started now would
  // list exactly these.
  static std::vector<std::string> ForbiddenUrls(const ProjectItem& root);

  bool HasEnded() const { return ended_; }
  int Error() const { return error_; }
  // Files (or folders) whose operation failed.
  int Failures() const { return failures_; }

 private:
  unsigned CollectUrl();
  unsigned OperateUrl();
  unsigned CollectFolder();
  unsigned OperateFolder();
  unsigned End();
  void DropLists();
  // Appends a record to the collect list; false (kListFailed) when it cannot.
  bool Collect(const LinkRecord& record);
  // Reports a URL or folder done: Visited, or Failed when its files could not be worked on.
  void Report(const std::string& url, bool ok);
  // Whether a URL reached at this depth and chain must still be collected: it was not collected
  // before at a depth and a chain that are both no larger. Records it; the patrol limits grow
  // with depth and chain, so a record that fails this would reach no file the other does not.
  bool FirstReach(const std::string& url, int32_t depth, int32_t chain);
  void OperateRobotsTxt(const LinkRecord& record, bool& ok);
  // Deletes, copies or moves one file (not a folder); false on failure. A missing file is no
  // failure.
  bool ApplyToFile(const std::string& file);
  bool ApplyToFolder(const std::string& folder);
  // Where a file below the item's source place goes under the destination.
  std::optional<std::string> Target(const std::string& path) const;
  bool IsListFile(const std::string& folder, const std::string& name) const;

  const CQLMDoc& doc_;
  const MirrorStore& store_;
  std::string project_name_;
  PatrolEvents& events_;
  PatrolQueue collect_{LinkRecord::kVersion};
  PatrolQueue operations_{LinkRecord::kVersion};

  SavedDataRequest request_;
  std::unique_ptr<LinkAdmission> admission_;
  // The mirror folder that holds the item (its parent's folder), and what replaces it for copy
  // and move; both end in "/".
  std::string source_base_;
  std::string destination_base_;
  // URLs already in the operation list, the depths and chains at which each URL was put into the
  // collect list, and the robots.txt copies already handled.
  std::set<std::string> queued_;
  std::map<std::string, std::vector<std::pair<int32_t, int32_t>>> reached_;
  std::set<std::string> robots_handled_;

  bool stop_ = false;
  bool ended_ = false;
  int error_ = kOk;
  int failures_ = 0;
};

}  // namespace qlm
