#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "crawl/DLStatus.h"
#include "crawl/PatrolRequest.h"
#include "crawl/PictureHook.h"
#include "net/CWSThread.h"
#include "platform/EventLoop.h"
#include "platform/MonotonicClock.h"
#include "platform/Prompt.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "tests/crawl/ProjectFixture.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/TempHome.h"
#include "tests/support/Watchdog.h"

namespace qlm::test {

// The six counters of the status view.
struct PatrolCounters {
  int detected = 0;
  int retry = 0;
  int visited = 0;
  int failed = 0;
  int localize = 0;
  int modified = 0;
  bool operator==(const PatrolCounters&) const = default;
};
std::ostream& operator<<(std::ostream& out, const PatrolCounters& c);

// Pictures handed over by the patrol, as (URL, stored file).
class RecordingPictures : public PictureHook {
 public:
  void PickUp(const LinkRecord& record, const std::string& stored_file) override;
  std::vector<std::pair<std::string, std::string>> Taken() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> taken_;
};

// A project in a temporary mirror folder, a real network worker thread running download
// managers, and the test thread's loop with a notify window that counts what the status view
// would show. The worker's timers run on the clock given (a ManualClock where limits matter).
class PatrolHarness : public ProjectFixture {
 public:
  explicit PatrolHarness(Clock& worker_clock = MonotonicClock::Instance());
  ~PatrolHarness();

  // The project's work folder below the mirror root.
  std::string WorkFolder() const { return Mirror() + "proj/"; }

  // Asks the worker for a manager and, with `start`, starts the patrol as soon as the manager is
  // known; the request may be filled in first.
  void Begin(const std::function<void(PatrolRequest&)>& fill = nullptr, bool start = true);
  // Serves the test thread until the patrol has ended; false after `limit`.
  bool WaitForEnd(std::chrono::milliseconds limit = std::chrono::seconds(20));
  // Begin and WaitForEnd.
  bool Run(const std::function<void(PatrolRequest&)>& fill = nullptr);
  // Posts the stop request to the running manager.
  void Stop();
  // Posts the stop request as soon as the first message of this number arrives (0: never).
  void StopAtFirst(unsigned message) { stop_at_ = message; }
  // Ends the worker thread under a running patrol, as a killed program would leave it (the
  // manager goes without ending), and starts a fresh worker.
  void Kill();
  // Serves the test thread until `done`; false after `limit`.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));

  // What the notify window received in the last patrol.
  const PatrolCounters& Counters() const { return counters_; }
  // The URLs of kMsgHandling, in order.
  const std::vector<std::string>& Handled() const { return handled_; }
  // The URLs each download object announced (kMsgObjInterval), in order.
  const std::vector<std::string>& Announced() const { return announced_; }
  // The URLs that kMsgVisited and kMsgFailed named, with "+" or "-" before them, in order; a
  // failure's reason follows in brackets when it has one.
  const std::vector<std::string>& Finished() const { return finished_; }
  // The completed flags of kMsgObjReleased, in order.
  const std::vector<bool>& Released() const { return released_; }
  // Message numbers in the order they arrived.
  const std::vector<unsigned>& Messages() const { return messages_; }
  bool Ended() const { return ended_; }
  Hwnd Manager() const { return manager_; }
  RecordingPictures& Pictures() { return pictures_; }

  // The mirror tree below the project's work folder, without the queue files.
  std::map<std::string, std::string> Tree() const;
  // The records of a queue file's main chain, by str3.
  std::vector<std::string> QueuedUrls(PatrolQueue& queue) const;

 private:
  LResult OnNotify(Message& msg);

  EventLoop loop_;
  Watchdog watchdog_;
  LambdaWindow notify_;
  CWSThread worker_;
  RecordingPictures pictures_;

  std::function<void(PatrolRequest&)> fill_;
  Hwnd manager_ = 0;
  bool start_ = true;
  unsigned stop_at_ = 0;
  bool answered_ = false;
  bool ended_ = false;
  PatrolCounters counters_;
  std::vector<std::string> handled_;
  std::vector<std::string> announced_;
  std::vector<std::string> finished_;
  std::vector<bool> released_;
  std::vector<unsigned> messages_;
};

}  // namespace qlm::test
