#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crawl/DLObj.h"
#include "crawl/LinkAdmission.h"
#include "crawl/LocalizeCrew.h"
#include "crawl/MirrorCheckpoint.h"
#include "crawl/MirrorGeneration.h"
#include "crawl/MirrorStore.h"
#include "crawl/PatrolEvents.h"
#include "crawl/PatrolRequest.h"
#include "crawl/PatrolUrlSet.h"
#include "crawl/PatrolWork.h"
#include "crawl/ResultOutcome.h"
#include "crawl/SpareFiles.h"
#include "crawl/StoredLinkCache.h"
#include "crawl/ValidatorLog.h"
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
// The manager's states, one at a time (events: start, dial result, stop, step, download result,
// release, sync ended, end; every state but Ended takes `end` and a dial error -> Ended):
//   Idle        start: dial-up wanted -> Dialling, else -> Fetching. stop -> Ended. The saved-data
//               operations run in this state.
//   Dialling    enter: ask for the line. connected -> Fetching; line down -> Ended;
//               stop: give the line back -> HangingUp (-> Ended when no answer is due)
//   Fetching    enter: begin the patrol (-> Ended when the project cannot start), then one step.
//               step: hand the next record to a free download object; a queue file failed ->
//               Draining; nothing left and settled -> Localizing.
//               results and releases: store, retry, requeue, fail (DLManagerResults.cpp); a body
//               the mirror could not take -> Draining. stop -> Draining
//   Localizing  enter: give the line back, reset the work queue, one step. step: localise a run
//               of pages; a queue file failed, or stop -> Draining; none left and settled -> Ended
//   Draining    enter: give the line back, abort the busy downloads (their records go back to the
//               queue as their results come in). enter, step and each result: once settled, the
//               held records go back to the queue -> HangingUp while the line's answer is due,
//               else -> Ended
//   HangingUp   line down -> Ended
//   Ended       nothing more. When the runner stops after entering it, the downloads and spare
//               files go, the notify window hears kMsgPatrolEnded and the window is destroyed
// "Settled": nothing outstanding (no busy download object, no running sync, no posted step) and
// no record waiting to be made durable; when records wait, the sync that makes them durable is
// started instead, and its end posts the step that looks again.
class DLManager : public Window {
 public:
  static constexpr int kObjectCount = 5;
  // Records that wait to be made durable before a sync starts while the patrol goes on. A sync
  // stalls the file system's writers for a moment, so one for many records costs far less than one
  // for a few; a phase does not end before its records are durable, whatever their number.
  static constexpr std::size_t kRecordsPerSync = 512;
  // Localize records taken at a time in the localization pass, localised side by side.
  static constexpr std::size_t kLocalizeRun = 64;
  enum class State : int {
    kNone,  // only while a state's handler runs: a handler that sets no state stops the runner
    kIdle,
    kDialling,
    kFetching,
    kLocalizing,
    kDraining,
    kHangingUp,
    kEnded,
  };

  // The saved-data operations (kMsgSavedDataStart .. kMsgOperateFolder) run in a manager window
  // too. A handler made by the installed factory at the first of these messages gets them all;
  // it uses the manager's document, store, events, admission, PostStep and EndPatrol. Without a
  // factory a saved-data request ends at once.
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

  State GetState() const { return state_; }
  CQLMDoc& Doc() { return doc_; }
  const MirrorStore& Store() const { return store_; }
  PatrolEvents& Events() { return events_; }
  Hwnd Notify() const { return request_->requester; }
  StatusTarget Status() const { return {request_->requester, request_->quiet_status}; }
  bool StopRequested() const { return state_ == State::kDraining || state_ == State::kHangingUp; }
  // Posts `message` to this window as a step of the manager's own (a saved-data step, say): it is
  // outstanding until it arrives.
  void PostStep(unsigned message, std::unique_ptr<Payload> payload = nullptr);
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
  // Ends the patrol from whatever state it is in: kMsgPatrolEnded, then the window goes.
  void EndPatrol();

 protected:
  LResult WindowProc(Message& msg) override;

 private:
  // What a record's robots.txt says before it is fetched.
  enum class RobotsAnswer { kAllowed, kRefused, kUnknown };
  // The dial-up line as this manager holds it:
  //   NotAsked   no dial-up: nothing to give back, no answer to wait for
  //   Asked      Dial was called and the line not given back: Release is due
  //   AskedDown  ... and the dial-up manager told that the line went down: Release is still due
  //              (the dial-up manager counts its holders), but no answer will follow it
  //   GivenBack  Release was called: the dial-up manager's answer (the line is down) is due
  //   Down       nothing is due either way
  enum class Line { kNotAsked, kAsked, kAskedDown, kGivenBack, kDown };
  // What the runner is handed: the enter event of a state just set, or a message's meaning.
  enum class Event {
    kEnter,
    kStart,
    kConnected,   // the dial-up line is up
    kLineDown,    // the dial-up line was given up (hung up, or given back)
    kDialFailed,  // wParam, lParam: the dial-up manager's notice
    kStop,
    kStep,          // kMsgNext, kMsgNextLocalize
    kRobotsDone,    // lParam: the download object's index
    kDownloadDone,  // lParam: the download object's index
    kSynced,        // wParam: 0 or the errno value of the sync
    kEnd,
  };
  struct Input {
    Event event = Event::kEnter;
    WParam wparam = 0;
    LParam lparam = 0;
  };
  // What a download object's result leaves the patrol to do.
  enum class ResultEnd { kGoOn, kStop };

  // The runner and the states (DLManager.cpp). The runner clears the state, lets the state's
  // handler take the input, and goes on with the enter event while the handler set another state;
  // when it stops in Ended it tells the end, last.
  void Run(Input input);
  void SetState(State state) { state_ = state; }
  void Idle(const Input& input);
  void Dialling(const Input& input);
  void Fetching(const Input& input);
  void Localizing(const Input& input);
  void Draining(const Input& input);
  void HangingUp(const Input& input);
  // Inputs that every state but Ended takes the same way; true when that set the next state.
  bool CommonInput(State state, const Input& input);
  // A download object's result (kRobotsDone, kDownloadDone); `stopping` in Draining.
  ResultEnd OnResult(const Input& input, bool stopping);
  void TellEnded();
  void GiveLineBack();
  void LineWentDown();
  // The stop's last step, once settled: the held records go back to the queue.
  void FinishStop();
  // No more spare files: the download objects make their own from now on.
  void DropSpares();
  // Starts a sync when enough records wait for one (and none runs).
  void Checkpoint();
  // Nothing is outstanding and no record waits to be made durable: the phase may end. When records
  // wait, their sync is started (an outstanding step) instead.
  bool Settled();
  int Outstanding() const;
  int FreeObjects() const;
  void StartSync();
  // `step`: the message of the step that goes on when nothing else is outstanding.
  void OnSynced(int error, unsigned step);

  // The fetching phase (DLManagerDispatch.cpp): one record per step, each into a free download
  // object, renewed from its local copy, handed to the object that fetches its URL already, or
  // deferred for its site's robots.txt.
  // False when the project could not start the patrol.
  bool BeginPatrol();
  // Sets the state the step leaves the manager in.
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
  const ProjectItem* FindItem(const LinkRecord& record) const;
  bool UseRobotsTxt() const;

  // The localization pass (DLManagerLocalize.cpp).
  void BeginLocalization();
  // Writes the link cache and lets it go; `used_only` at the end of a whole patrol.
  void SaveLinkCache(bool used_only);
  // Sets the state the step leaves the manager in.
  void LocalizeStep();

  // Download results (DLManagerResults.cpp).
  // The object a result names; null when it is free (nothing to do).
  DLObj* BusyObject(int index);
  // Carries out what comes before the request's own result (ResultOutcome): kRequeue (the patrol
  // stops), kDropBody, or kStop (the mirror could not take the body; the patrol stops for it).
  ResultEnd Interrupted(DLObj& obj, Outcome outcome);
  ResultEnd OnRobotsDone(int index, bool stopping);
  ResultEnd OnDownloadDone(int index, bool stopping);
  // The page's request failed: each record is retried, sent with credentials, or failed.
  void RetryOrAuthenticate(DLObj& obj, const ResultFacts& result);
  void NotModified(DLObj& obj);
  void Redirected(DLObj& obj);
  void Content(DLObj& obj);
  void BeginPage(DLObj& obj);
  void Requeue(DLObj& obj, std::size_t i);
  void RequeueAll(DLObj& obj);
  // `stopped`: a stop put the object's records back (the status row says so).
  void Release(DLObj& obj, bool counted, bool stopped = false);
  static std::vector<const LinkRecord*> Referrers(const DLObj& obj);

  // Links of pages into the work queue, pages into the localize queue, and the counters
  // (DLManagerLinks.cpp).
  void ExpandFetchedPage(DLObj& obj, std::string_view page, bool style_sheet);
  void TakeTitle(DLObj& obj, const std::string& title);
  bool AdmitToWork(const std::vector<const LinkRecord*>& referrers,
                   const std::vector<PageLink>& links);
  // A new record that would only be counted visited when it came up (see AdmitToWork).
  bool SettledAlready(const LinkRecord& record, const CUrl& url);
  // Puts a stored page into the localize queue once per patrol (PatrolUrlSet::FirstLocalizing);
  // with `when_durable`, through PatrolWork::AppendLocalizeWhenDurable.
  void QueueForLocalizing(const LinkRecord& page, bool when_durable);
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
  // The URLs of this patrol, kept beside the queue files; also the pages expanded and those put
  // into the localize queue.
  PatrolUrlSet urls_;
  // The mirror's token, renewed before the patrol adds or removes a copy (made at the start).
  std::unique_ptr<MirrorGeneration> generation_;
  // The links of stored pages from the last patrols, so that an unchanged page is not read again
  // (made at the start, written at the end).
  std::unique_ptr<StoredLinkCache> link_cache_;
  // What the server said of each stored file's version (read at the start, appended to as files
  // are stored, rewritten and confirmed).
  std::unique_ptr<ValidatorLog> validators_;
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

  State state_ = State::kIdle;
  Line line_ = Line::kNotAsked;
  // Step messages posted to this window and not yet arrived (PostStep); with the busy download
  // objects and a running sync they are what is outstanding.
  int posted_steps_ = 0;
  bool end_due_ = false;     // Ended was entered: the runner tells the end when it stops
  bool first_start_ = true;  // no download object has been started yet
  FileTime patrol_start_{};
  FileTime localize_start_{};
  // Records waiting for a site's robots.txt that a busy object is fetching; they stay in the
  // work queue's held chain meanwhile.
  std::vector<HeldRecord> deferred_;
};

}  // namespace qlm
