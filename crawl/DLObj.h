#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crawl/FetchSetup.h"
#include "crawl/PatrolEvents.h"
#include "crawl/PatrolWork.h"
#include "crawl/SpareFiles.h"
#include "net/CFileBodySink.h"
#include "net/CHttpRequest.h"
#include "net/CUrl.h"
#include "net/HttpRoute.h"
#include "platform/Window.h"

namespace qlm {

// A download object: the hidden window "DLObj" that fetches one URL at a time for the download
// manager, on the network worker thread. It waits for the access interval, optionally fetches the
// site's robots.txt first, runs the HTTP transaction, writes the body into its temporary file as it
// arrives, watches the time limits, posts its progress to the notify window (DLObjStatus blocks)
// and its result to the manager. What the result means is the manager's business.
//
// Results go to the manager as kMsgRobotsDone (the robots.txt request ended) or kMsgDownloadDone
// (the main request ended), lParam MakeLong(index, result code). Exactly one result is posted per
// request started, and one for an Abort while the access interval still runs.
//
// The object's states (events: Start, Begin, the interval timer, a limit timer, the request's
// progress, Abort, Reset):
//   Free           Start takes a record and makes the requests; Begin(robots first) ->
//                  WaitingRobots, Begin -> WaitingPage
//   WaitingRobots  the access interval runs (kIntervalTimer, the only time it does).
//                  interval over: the robots.txt request starts with its limit timers -> Robots;
//                  it cannot start: kMsgRobotsDone (failed) -> Reported.
//                  Abort: kMsgDownloadDone with the main request's result -> Reported
//   WaitingPage    the same for the main request -> Page (kMsgDownloadDone when it cannot start)
//   Robots         the robots.txt request runs. finished: the limit timers stop, kMsgRobotsDone
//                  -> Reported. A limit timer that runs out, or Abort, cancels the request (it
//                  then finishes as cancelled)
//   Page           the main request runs, its body into the temporary file; the same, with
//                  kMsgDownloadDone
//   Reported       the result is the manager's: Begin -> WaitingPage (the page after its
//                  robots.txt); Abort does nothing
// Reset, in any state: requests destroyed, timers stopped, records forgotten -> Free.
class DLObj : public Window, private IHttpObserver {
 public:
  // The timers of a download, by id.
  enum TimerId : std::uint64_t {
    kConnectTimer = 1,   // from the request's start until connected: ConnectionTimeout
    kReplyTimer = 2,     // from connected until the status line: ReplyRcvTimeout
    kControlTimer = 3,   // from the status line until the header block: CtlRcvTimeout
    kDataTimer = 4,      // from the header block, and after each piece of body: DataRcvTimeout
    kCloseTimer = 5,     // after the header block of a HEAD request: CloseTimeout
    kTotalTimer = 6,     // from the request's start: DLTotalTimeout
    kIntervalTimer = 7,  // from Begin until the request starts: the access interval
  };
  enum class State { kFree, kWaitingRobots, kWaitingPage, kRobots, kPage, kReported };

  explicit DLObj(int index);
  ~DLObj() override;

  // Creates the hidden window "DLObj" on the calling thread's loop.
  bool CreateHidden();

  // Takes a record to fetch (it becomes the first of the object's list and the current record),
  // parses its URL, notes the work folder for the temporary file and makes the main request
  // object (the robots.txt request is made by Begin when it comes first). The caller then
  // sets the main request's lines and calls Begin. False when the object is busy.
  bool Start(const HeldRecord& record, StatusTarget notify, Hwnd manager,
             const std::string& work_folder, const ProxySettings& proxy);
  void SetLimits(const DownloadLimits& limits) { limits_ = limits; }
  // Where a body's file comes from when the last one went into the mirror: a spare file, or
  // (without spares, or none ready) "<work folder>tmp<index>.dat" made at once. Null: never spares.
  void SetSpares(SpareFiles* spares) { spares_ = spares; }
  // Posts kMsgObjInterval and starts the access interval: 0 for the first download of a patrol,
  // else the item's AccessInterval. With `robots_first` the robots.txt (RobotsUrl of the current
  // record) is fetched first; the manager then calls Begin again for the page itself.
  void Begin(bool robots_first, bool first_start);
  // Adds a record of the same URL and item to a busy object: the download covers it too.
  void HandOver(const HeldRecord& record) { records_.push_back(record); }
  // Ends the download early: while the access interval runs a kMsgDownloadDone is posted at once
  // with the main request's result; otherwise the active request is cancelled (kResultCancelled).
  void Abort();
  // Back to free: requests destroyed, timers stopped, records forgotten. The temporary file stays
  // (unless the store moved it into the mirror) for the object's next download, which cuts it
  // back before it writes.
  void Reset();
  // Removes the temporary file (when the patrol ends).
  void RemoveTempFile();

  State GetState() const { return state_; }
  bool IsFree() const { return state_ == State::kFree; }
  int Index() const { return index_; }
  // The record the download was started for (it stays known after the list was emptied).
  const LinkRecord& Current() const { return current_; }
  // The URL of the current record, parsed.
  const CUrl& Url() const { return url_; }
  // The robots.txt URL of a robots-first download (RobotsUrl of the current record).
  const std::string& RobotsTxtUrl() const { return robots_url_; }
  // The current record first, then those handed over; the manager takes records out of it when
  // it requeues them.
  std::vector<HeldRecord>& Records() { return records_; }
  const std::vector<HeldRecord>& Records() const { return records_; }
  // Null while free; Robots() also until a robots.txt request was begun.
  CHttpRequest* Main() { return main_.get(); }
  CHttpRequest* Robots() { return robots_.get(); }
  const std::string& TempFile() const { return temp_file_; }
  // The temporary file went into the mirror: the next body goes into a new one.
  void TempFileGone() { temp_file_.clear(); }
  // The body of the last download as far as it is kept in memory: the first kKeptBody bytes
  // (the whole body when Body().KeptWhole()).
  const CFileBodySink& Body() const { return body_; }
  // Gives back the memory of the kept body: the object will not download for a while.
  void DropKeptBody() { body_.DropKept(); }
  static constexpr std::size_t kKeptBody = 256 * 1024;
  // Why the body of the request that ended could not be written (an errno value; 0 when it was,
  // or there was none). BodyRefused(): a bound of the limits refused it, not the file system.
  int BodyError() const { return body_error_; }
  bool BodyRefused() const { return body_refused_; }

 protected:
  LResult WindowProc(Message& msg) override;

 private:
  void OnProgress(CHttpRequest& request, int progress) override;
  bool Waiting() const { return state_ == State::kWaitingRobots || state_ == State::kWaitingPage; }
  // The access interval is over: the request starts (Waiting -> Robots or Page).
  void StartRequest();
  // Starts a limit timer; a limit of 0 starts none.
  void StartTimer(TimerId id, int32_t seconds);
  // Starts a timer, also with 0 seconds (it then fires on the loop's next pass).
  void ArmTimer(TimerId id, int32_t seconds);
  void StopTimer(TimerId id);
  void StopAllTimers();
  void PostStatus(unsigned message, int64_t length = -1, int64_t received = 0);
  // Posts the running request's result (Robots or Page -> Reported).
  void PostResult(int result);
  // The request that runs: the robots.txt's in Robots, the main one in Page, else none.
  CHttpRequest* ActiveRequest();
  // Opens the temporary file for a body: the last one cut back when it is still there, else a
  // spare or a new file. False when none could be opened (LastError() of Body() tells why).
  bool OpenBodyFile();

  const int index_;
  State state_ = State::kFree;
  StatusTarget notify_;
  Hwnd manager_ = 0;
  ProxySettings proxy_;
  DownloadLimits limits_;
  // Made at Start, destroyed at Reset; this object observes both.
  std::unique_ptr<CHttpRequest> main_;
  std::unique_ptr<CHttpRequest> robots_;
  LinkRecord current_;
  CUrl url_;
  std::string robots_url_;
  CUrl robots_parsed_;
  std::vector<HeldRecord> records_;
  std::string work_folder_;
  // The file of the last body, or of the next one; empty before the first.
  std::string temp_file_;
  SpareFiles* spares_ = nullptr;
  // The temporary file, open from the header block to the end of the request.
  CFileBodySink body_;
  // What the last request's body file said (BodyError, BodyRefused).
  int body_error_ = 0;
  bool body_refused_ = false;
  // Bit n set while timer n runs: kIntervalTimer in the Waiting states, the limit timers while a
  // request runs, each from its start to its stop (StopAllTimers stops those that run).
  unsigned timers_ = 0;
};

}  // namespace qlm
