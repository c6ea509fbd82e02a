#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crawl/DLObj.h"
#include "crawl/ExpansionSet.h"
#include "crawl/LinkAdmission.h"
#include "crawl/LocalizeCrew.h"
#include "crawl/MirrorCheckpoint.h"
#include "crawl/MirrorGeneration.h"
#include "crawl/MirrorStore.h"
#include "crawl/PatrolEvents.h"
#include "crawl/PatrolRequest.h"
#include "crawl/PatrolUrlSet.h"
#include "crawl/PatrolWork.h"
#include "crawl/SpareFiles.h"
#include "crawl/StoredLinkCache.h"
#include "crawl/Validators.h"
#include "platform/SpareSockets.h"
#include "platform/Window.h"

namespace qlm {

class CQLMDoc;
class ProjectItem;

// The download manager: the hidden window "DLManager" that carries out one patrol on the network
// worker thread with five download objects (DLObj). It walks the project into the work queue (or
// resumes it), hands records to free download objects, stores what they fetch in the mirror,
// admits the links of stored pages, and finally localises the stored pages.
//
// How a caller runs a patrol (the status view, the headless `QLM --patrol`):
//   1. Once per process, before the first request: DLManager::Install() (the worker thread's
//      manager factory). The worker thread (CWSThread) must be running.
//   2. Post the request to the worker thread:
//        auto request = std::make_unique<PatrolRequest>();
//        request->requester = notify_window;  request->doc = &doc;  (selected_only, item, hooks)
//        PostThreadMessage(worker.Id(), WM_WS_CREATE_MANAGER, 0, 0, std::move(request));
//   3. The notify window receives kMsgManagerCreated (WM_USER+29) with a PayloadValue<Hwnd>: the
//      manager's window (0 when none could be made; nothing more comes then). Post kMsgStart
//      (WM_USER+34) to it to start.
//   4. Post kMsgStop (WM_USER+35) to stop: downloads in flight are cancelled and their records go
//      back to the front of the work queue; the next start resumes there.
//   5. The notify window receives the status messages: kMsgHandling (a PayloadText, a URL
//      handled without a download), kMsgObjInterval .. kMsgObjReleased (TakeObjStatus reads
//      them), the counters kMsgDetected .. kMsgModified (Visited and Failed with the record's URL
//      as a PayloadText, the others without a payload), and finally
//      kMsgPatrolEnded (WM_USER+30), after which the manager window is gone. A patrol that ends
//      because the dial-up line could not be had is preceded by kMsgDialResult (WM_USER+10) with
//      the dial-up manager's notice (0, error).
// A patrol that is killed at any moment resumes too: every record out of the work queue (in a
// download, in the deferred list, being localised) is kept in the queue files' held chains, and
// in a durable patrol it stays there until a sync of the mirror's file system has made what was
// written for it durable (see MirrorCheckpoint): records held at a start are fetched in full.
//
// Phases: 0 idle, 1 starting (dialling), 2 fetching, 3 localizing, 4 ended. Counting: every
// posted dispatch or localization step, every busy download object and a running sync is one
// outstanding step; a phase ends when the count is 0.
class DLManager : public Window {
 public:
  static constexpr int kObjectCount = 5;
  // Records that wait to be made durable before a sync starts while the patrol goes on. A sync
  // stalls the file system's writers for a moment, so one for many records costs far less than one
  // for a few; a phase does not end before its records are durable, whatever their number.
  static constexpr std::size_t kRecordsPerSync = 512;
  // Localize records taken at a time in the localization pass, localised side by side.
  static constexpr std::size_t kLocalizeRun = 64;
  enum Phase : int {
    kPhaseIdle = 0,
    kPhaseStarting = 1,
    kPhaseFetching = 2,
    kPhaseLocalizing = 3,
    kPhaseEnded = 4,
  };

  // The saved-data operations (kMsgSavedDataStart .. kMsgOperateFolder) run in a manager window
  // too. A handler made by the installed factory at the first of these messages gets them all;
  // it uses the manager's document, store, events, admission, outstanding count, stop flag and
  // EndPatrol. Without a factory a saved-data request ends at once.
  class SavedDataHandler {
   public:
    virtual ~SavedDataHandler() = default;
    virtual void Handle(DLManager& manager, Message& msg) = 0;
  };
  using SavedDataFactory = std::function<std::unique_ptr<SavedDataHandler>(DLManager&)>;
  static void SetSavedDataFactory(SavedDataFactory factory);

  // The worker thread's manager factory: a manager for a PatrolRequest with a document, with its
  // windows created; nullptr for anything else.
  static std::unique_ptr<Window> Make(std::unique_ptr<ManagerRequest> request);
  // Installs Make as CWSThread's manager factory.
  static void Install();

  explicit DLManager(std::unique_ptr<PatrolRequest> request);
  ~DLManager() override;

  // Creates the five download objects' windows, then the manager's own ("DLManager").
  bool CreateWindows();

  Phase GetPhase() const { return phase_; }
  CQLMDoc& Doc() { return doc_; }
  const MirrorStore& Store() const { return store_; }
  PatrolEvents& Events() { return events_; }
  Hwnd Notify() const { return request_->requester; }
  StatusTarget Status() const { return {request_->requester, request_->quiet_status}; }
  bool StopRequested() const { return stop_; }
  // Posted steps still to come (see the class comment); a saved-data handler counts its own.
  int& Outstanding() { return outstanding_; }
  // Admission against the forbidden items of the last start (made at the first start or
  // saved-data request).
  LinkAdmission& Admission();
  // Re-reads the stored copy of `page` (only a page yields links) and admits its links for
  // `referrers` with `mode`; in mode 0 the page then goes to the localize queue. Posts
  // kMsgHandling first. Mode 0 admits into the work queue, mode 2 into `collect`.
  void ReadStoredPage(const std::vector<const LinkRecord*>& referrers, const LinkRecord& page,
                      int mode, const LinkAdmission::Sink& collect = nullptr);
  // The same with the page's URL parsed already.
  void ReadStoredPage(const std::vector<const LinkRecord*>& referrers, const LinkRecord& page,
                      const CUrl& url, int mode, const LinkAdmission::Sink& collect = nullptr);
  // Posts kMsgPatrolEnded and destroys the window.
  void EndPatrol();

 protected:
  LResult WindowProc(Message& msg) override;

 private:
  // What a record's robots.txt says before it is fetched.
  enum class RobotsAnswer { kAllowed, kRefused, kUnknown };
  // Where the dial-up line stands for this manager.
  enum class Line { kNone, kAsked, kReleased };

  // Patrol driver (DLManager.cpp).
  void OnStart();
  void OnDialResult(WParam state, LParam error);
  void OnStop();
  void BeginPatrol();
  void Next();
  void DispatchStep();
  bool ChooseRecord(HeldRecord& held);
  bool DeferredReady(const LinkRecord& record);
  void Process(HeldRecord held);
  // `url`: the record's URL, parsed.
  void Renew(HeldRecord held, const ProjectItem& item, const CUrl& url, const LocalCopy& copy);
  // `copy_written`: the last-write time of the local copy when the fetch is to renew it, and
  // `validators` those the copy was stored with.
  void Fetch(HeldRecord held, const ProjectItem& item, const CUrl& url,
             std::optional<FileTime> copy_written, const Validators& validators = {});
  RobotsAnswer AskRobots(LinkRecord& record);
  DLObj* FirstFree();
  DLObj* BusyWithUrl(const LinkRecord& record, const CUrl& url);
  DLObj* BusyWithRobots(const LinkRecord& record);
  void BeginLocalization();
  // Writes the link cache and lets it go; `used_only` at the end of a whole patrol.
  void SaveLinkCache(bool used_only);
  void LocalizeStep();
  void FinishStop();
  // No more spare files: the download objects make their own from now on.
  void DropSpares();
  // Starts a sync when enough records wait for one (and none runs).
  void Checkpoint();
  // Nothing is outstanding and no record waits to be made durable: the phase may end. When records
  // wait, their sync is started (an outstanding step) instead.
  bool Settled();
  void StartSync();
  void OnSynced(int error);
  const ProjectItem* FindItem(const LinkRecord& record) const;
  bool UseRobotsTxt() const;

  // Download results (DLManagerResults.cpp).
  // The object a result names; null when it is free (nothing to do) or the patrol stops (its
  // records went back to the queue and it was released).
  DLObj* ResultOf(int index);
  // A body that could not be written: the object's records are failed when a bound of the
  // limits refused it, else kept for the next patrol, which this one stops for.
  void BodyNotWritten(DLObj& obj);
  void OnRobotsDone(int index);
  void OnDownloadDone(int index);
  void RetryOrAuthenticate(DLObj& obj);
  void NotModified(DLObj& obj);
  void Redirected(DLObj& obj);
  void Content(DLObj& obj);
  void ExpandFetchedPage(DLObj& obj, std::string_view page, bool style_sheet);
  void TakeTitle(DLObj& obj, const std::string& title);
  void BeginPage(DLObj& obj);
  void Requeue(DLObj& obj, std::size_t i);
  void RequeueAll(DLObj& obj);
  // `stopped`: a stop put the object's records back (the status row says so).
  void Release(DLObj& obj, bool counted, bool stopped = false);
  bool AdmitToWork(const std::vector<const LinkRecord*>& referrers,
                   const std::vector<PageLink>& links);
  // A new record that would only be counted visited when it came up (see AdmitToWork).
  bool SettledAlready(const LinkRecord& record, const CUrl& url);
  // Puts a stored page into the localize queue once per patrol (ExpansionSet::FirstLocalizing);
  // with `when_durable`, through PatrolWork::AppendLocalizeWhenDurable.
  void QueueForLocalizing(const LinkRecord& page, bool when_durable);
  static std::vector<const LinkRecord*> Referrers(const DLObj& obj);
  // Counts a record's URL visited, or failed (with the TlsFailure that failed it, or 0), the first
  // time in this patrol.
  void CountVisited(const LinkRecord& record);
  void CountFailed(const LinkRecord& record, int reason = 0);

  std::unique_ptr<PatrolRequest> request_;
  CQLMDoc& doc_;
  MirrorStore store_;
  PostedPatrolEvents events_;
  PatrolWork work_;
  MirrorCheckpoint checkpoint_;
  std::unique_ptr<LinkAdmission> admission_;
  ExpansionSet expanded_;  // also tells which pages were put into the localize queue
  PatrolUrlSet urls_;      // the URLs of this patrol, kept beside the queue files
  // The mirror's token, renewed before the patrol adds or removes a copy (made at the start).
  std::unique_ptr<MirrorGeneration> generation_;
  // The links of stored pages from the last patrols, so that an unchanged page is not read again
  // (made at the start, written at the end).
  std::unique_ptr<StoredLinkCache> link_cache_;
  // The links of the fetched page being expanded, and what AdmitToWork makes of them, kept
  // between pages for the room they took.
  std::vector<PageLink> page_links_;
  std::vector<LinkRecord> admitted_;
  std::string settled_urls_;
  std::vector<std::size_t> settled_ends_;
  std::array<std::unique_ptr<DLObj>, kObjectCount> objects_;
  std::unique_ptr<SavedDataHandler> saved_data_;
  std::unique_ptr<LocalizeCrew> crew_;  // made when the localization pass begins
  std::unique_ptr<SpareFiles> spares_;  // files for bodies, while the patrol fetches
  std::unique_ptr<SpareSockets::Keeper> spare_sockets_;  // sockets made ahead, likewise

  Phase phase_ = kPhaseIdle;
  int free_ = kObjectCount;  // download objects that are free
  bool stop_ = false;
  int outstanding_ = 0;
  bool ended_ = false;  // kMsgPatrolEnded was posted
  Line line_ = Line::kNone;
  bool hung_up_ = false;     // the dial-up manager told that the line is given up
  bool first_start_ = true;  // no download object has been started yet
  FileTime patrol_start_{};
  FileTime localize_start_{};
  // Records waiting for a site's robots.txt that a busy object is fetching; they stay in the
  // work queue's held chain meanwhile.
  std::vector<HeldRecord> deferred_;
};

}  // namespace qlm
