#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/AppMessages.h"
#include "platform/Message.h"
#include "platform/MessageIds.h"

namespace qlm {

// What the download status view shows of a patrol, kept apart from how it is drawn, so that the
// status view and the headless patrol show the same rows and counters: six rows (one per download
// object, and a last one for URLs handled without a download) and the six counters.
//
// It takes the status messages a download manager and its download objects post to the notify
// window (Handle), or the same steps called one by one. Every text is what the view prints:
// numbers in decimal, the state words "Interval", "Contacting", "Connected", "Complete",
// "Failed" and "Stopped" (put back into the queue by a stop) in the bytes column, "Unknown" for a
// length the server did not give.
class PatrolStatus {
 public:
  static constexpr int kObjects = 5;     // download objects: rows 0..4
  static constexpr int kHandledRow = 5;  // URLs handled without a download
  static constexpr int kRows = kObjects + 1;

  enum Counter { kDetected, kRetry, kVisited, kFailed, kLocalize, kModified, kCounters };

  struct Row {
    std::string url;
    std::string bytes;    // bytes received, or a state word
    std::string size;     // content length, "Unknown", or "0" while waiting
    std::string percent;  // received × 100 / length, "Unknown", or empty
    int lamp = 0;         // 0..100; the lamp's colour follows it (LampColour)
  };

  // A record that has been done (Visited) or has failed, as far as its URL is known.
  struct Finished {
    bool visited = false;
    std::string url;     // empty when no URL could be told
    std::string reason;  // why it failed, when a user can act on it ("certificate expired")
  };

  PatrolStatus() { Reset(); }

  // Takes one status message (kMsgHandling .. kMsgPatrolEnded, and the reset kMsgStatusReset);
  // false for any other message. Payloads are taken; a message whose block is missing is ignored.
  bool Handle(Message& msg);

  // The steps one by one. `index` is the download object's index 0..4; others are ignored.
  void Reset();
  void Handling(const std::string& url);
  void ObjInterval(int index, const std::string& url);
  void ObjContacting(int index);
  void ObjConnected(int index);
  void ObjLength(int index, int64_t length);
  void ObjProgress(int index, int64_t length, int64_t received);
  // A failed download shows "Failed", followed by its reason in brackets when it has one (a
  // TlsFailure code).
  void ObjReleased(int index, bool completed, bool stopped = false, int failure = 0);
  // A record counted; for Visited and Failed the record's URL when the message carried it, for
  // Failed the reason (a TlsFailure code) the message carried.
  void Count(Counter counter, const std::string& url = std::string(), int failure = 0);
  void Ended() { ended_ = true; }

  const Row& GetRow(int row) const { return rows_[static_cast<size_t>(row)]; }
  int32_t Value(Counter counter) const { return counters_[counter]; }
  // Modified × 100 / Localize as shown after the last localized page; empty before the first and
  // while Localize is 0.
  const std::string& ModifiedPercent() const { return modified_percent_; }
  bool HasEnded() const { return ended_; }
  // Bumped at every change, so that a display can tell whether to draw again.
  uint64_t Generation() const { return generation_; }

  // "Detected 12 Retry 0 Visited 12 Failed 0 Localize 5 Modified 5".
  std::string CounterLine() const;
  static const char* CounterName(Counter counter);

  // Told of every Visited and Failed record as it is counted. A record whose message carried no
  // URL is told once the release that follows names its download object's URL, or otherwise with
  // the URL last handled without a download.
  void OnFinished(std::function<void(const Finished&)> listener) {
    finished_listener_ = std::move(listener);
  }
  // Tells the records still waiting for their URL (called when the patrol ends).
  void FlushFinished(const std::string& url = std::string());

  // The lamp's colour for a value 0..100 as 0xRRGGBB: blue at 0, through green at 50, to red at
  // 100 (a cosine wheel over 150 steps, each channel clamped to 0..255).
  static uint32_t LampColour(int value);

 private:
  // The download objects' messages (kMsgObjInterval .. kMsgObjReleased); false for others.
  bool HandleObjectMessage(Message& msg);
  bool ValidIndex(int index) const { return index >= 0 && index < kObjects; }
  Row& ObjRow(int index) { return rows_[static_cast<size_t>(index)]; }
  void Changed() { ++generation_; }

  std::array<Row, kRows> rows_;
  std::array<int32_t, kCounters> counters_{};
  std::string modified_percent_;
  bool ended_ = false;
  uint64_t generation_ = 0;
  // Visited/Failed records whose message carried no URL: they are told at the next message, with
  // the URL of the release that follows them, else with the row of URLs handled without download.
  std::array<int, 2> pending_{};  // [0] failed, [1] visited
  std::function<void(const Finished&)> finished_listener_;
};

}  // namespace qlm
