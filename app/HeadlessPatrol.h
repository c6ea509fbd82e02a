#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/PatrolStatus.h"
#include "crawl/PatrolRequest.h"
#include "crawl/SavedDataOperation.h"
#include "platform/Message.h"
#include "platform/NamedMutex.h"
#include "project/CQLMDoc.h"

namespace qlm {

class AppSettings;
class CRasMan;
class CSSDoc;
class PicturePickup;
class PictureQueue;
class Prompt;
class SharedSlideList;

// What the headless patrols of one process share. The pointers must outlive every patrol.
struct HeadlessServices {
  const AppSettings* settings = nullptr;
  Prompt* prompt = nullptr;
  // The running network worker thread (CWSThread), with DLManager installed as its factory.
  ThreadId worker = 0;
  // The dial-up manager on this thread's loop: a patrol asks it for the line when the setting
  // AutoDialup is on. No dialling when null.
  CRasMan* dialer = nullptr;
  // The pick-up of stored pictures: the picture queue (open) and the slide-show list. No pick-up
  // when either is null.
  PictureQueue* pictures = nullptr;
  SharedSlideList* slides = nullptr;
  // The main program keeps its slide-show list in memory and writes the file itself: when set,
  // the pick-up and the titles use this list instead of `slides`.
  CSSDoc* slide_list = nullptr;
  // Whether a picture display runs; asked by the pick-up on the network worker thread.
  std::function<bool()> display_running;
};

// One patrol of one project, as `QLM --patrol` runs it, as `QLM --timers` runs each patrol its
// timers start, and as the main program's status view runs the patrols and saved-data operations
// of an open project: the project opened under its patrol lock, a download manager asked for on
// the worker thread with the status view's request (dialer, picture pick-up and the titles hook
// included), its status messages kept in a PatrolStatus, and the end told. The lock is the same
// for every program, so that no project is ever patrolled twice at once.
//
// Lives on the thread of a platform loop (the headless program's main thread); Stop() may be
// called from any thread. The object must not be destroyed between Start() and the end callback,
// nor inside the callback: the manager uses its document until the end.
class HeadlessPatrol {
 public:
  enum class OpenResult {
    kOpened,
    kCannotOpen,  // the project file (or the named item) cannot be opened
    kBusy,        // another patrol of the project's folder holds its lock
  };
  enum class Outcome {
    kRunning,       // not ended (or not started)
    kDone,          // the patrol ran to its end
    kStopped,       // it was stopped (and resumes at the next patrol)
    kNoManager,     // the worker could not make a download manager
    kDialFailed,    // the dial-up line could not be had: nothing was fetched (DialError())
    kMirrorFailed,  // the mirror could not take a body: stopped, resumes (MirrorFailure())
  };
  struct Target {
    std::string project;
    bool selected_only = false;
    std::optional<PatrolItemRef> item;  // the whole project when absent
    // A saved-data operation instead of a patrol; its item belongs to the document.
    std::optional<SavedDataRequest> saved_data;
  };

  // A patrol of the project file `target.project`, which Open reads.
  HeadlessPatrol(HeadlessServices& services, Target target);
  // A patrol of a project the caller holds open (`target.project` is not used): Open takes the
  // lock and opens the document's queue files afresh. `doc` must outlive this object.
  HeadlessPatrol(HeadlessServices& services, CQLMDoc& doc, Target target);
  ~HeadlessPatrol();
  HeadlessPatrol(const HeadlessPatrol&) = delete;
  HeadlessPatrol& operator=(const HeadlessPatrol&) = delete;

  // Takes the patrol lock of the project's folder, then opens the project and finds the item.
  // Anything but kOpened comes with `why`, a sentence for the user.
  OpenResult Open(std::string* why);
  // Asks the worker for a download manager and starts it as soon as it is known; `on_ended` is
  // called on this thread once the patrol has ended. False when no window could be made.
  bool Start(std::function<void(HeadlessPatrol&)> on_ended);
  // Stops the patrol as the stop command does; a stop before the manager is known starts and
  // stops it at once, so that its queues are as a stop leaves them. Any thread.
  void Stop();

  Outcome GetOutcome() const { return outcome_; }
  bool Running() const { return started_ && outcome_ == Outcome::kRunning; }
  bool StopAsked() const { return stop_asked_; }
  // Records of the queue files that could not be read and were let go of.
  std::size_t SkippedRecords() const { return skipped_records_; }
  // The dial-up manager's error number when the outcome is kDialFailed.
  std::int64_t DialError() const { return dial_error_; }
  // "the dial-up line could not be opened (its status text, error N)", for the terminal.
  std::string DialFailure() const;
  // "the mirror's file system is full (...)" or "... cannot be written (...)", for the terminal.
  std::string MirrorFailure() const;
  PatrolStatus& Status() { return status_; }
  CQLMDoc& Doc() { return *doc_; }
  const Target& GetTarget() const { return target_; }

  // After the end: writes the project file when the patrol changed it (the titles its items took
  // from their pages). False with `why` when that failed.
  bool SaveChanges(std::string* why);

  // The name of the lock that every patrol of a project folder holds (the GUI's patrols too).
  static std::string LockName(const std::string& project_folder);

 private:
  class NotifyWindow;

  void OnManagerCreated(Hwnd manager);
  void OnStopRequested();
  void OnDialResult(std::int64_t error);
  void OnEnded(Outcome outcome);
  std::string ProjectText() const;

  HeadlessServices& services_;
  Target target_;
  std::unique_ptr<CQLMDoc> own_doc_;  // null for a document the caller holds
  CQLMDoc* doc_;
  std::unique_ptr<NamedMutex> lock_;  // held from Open until destruction
  PatrolStatus status_;
  std::unique_ptr<PicturePickup> pickup_;
  std::unique_ptr<NotifyWindow> window_;
  std::atomic<Hwnd> window_handle_{0};  // for Stop() on other threads
  std::atomic<bool> stop_requested_{false};
  std::function<void(HeadlessPatrol&)> on_ended_;
  std::string text_before_;  // the project file's text when the patrol started
  Hwnd manager_ = 0;
  bool started_ = false;
  bool stop_asked_ = false;  // the stop reached the notify window
  std::int64_t dial_error_ = 0;
  int mirror_error_ = 0;  // errno of a body the mirror could not take
  std::size_t skipped_records_ = 0;
  Outcome outcome_ = Outcome::kRunning;
};

}  // namespace qlm
