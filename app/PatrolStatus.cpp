#include "app/PatrolStatus.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "crawl/CrawlMessages.h"
#include "crawl/DLStatus.h"
#include "net/TlsSession.h"

namespace qlm {

namespace {

constexpr const char* kCounterNames[PatrolStatus::kCounters] = {"Detected", "Retry",    "Visited",
                                                                "Failed",   "Localize", "Modified"};

// The state words of the bytes column. Kept as strings: copying one is cheaper than building it,
// and GCC 12 warns falsely (-Wrestrict) about assigning the literals here.
const std::string kInterval = "Interval";
const std::string kContacting = "Contacting";
const std::string kConnected = "Connected";
const std::string kComplete = "Complete";
const std::string kFailedWord = "Failed";
const std::string kStopped = "Stopped";
const std::string kUnknown = "Unknown";
const std::string kZero = "0";

std::string Decimal(int64_t value) {
  return std::to_string(value);
}

}  // namespace

const char* PatrolStatus::CounterName(Counter counter) {
  return kCounterNames[counter];
}

bool PatrolStatus::Handle(Message& msg) {
  const unsigned id = msg.message;
  // A Visited or Failed record without a URL learns it from the message that follows it.
  // A release names them itself (below).
  if (id != kMsgVisited && id != kMsgFailed && id != kMsgObjReleased) {
    FlushFinished(rows_[kHandledRow].url);
  }
  switch (id) {
    case kMsgStatusReset:
      Reset();
      return true;
    case kMsgHandling: {
      if (std::optional<std::string> url = msg.TakeText()) Handling(*url);
      return true;
    }
    case kMsgDetected:
      Count(kDetected);
      return true;
    case kMsgRetry:
      Count(kRetry);
      return true;
    case kMsgVisited:
    case kMsgFailed: {
      Count(id == kMsgVisited ? kVisited : kFailed, msg.TakeText().value_or(std::string()),
            id == kMsgFailed ? static_cast<int>(msg.wparam) : 0);
      return true;
    }
    case kMsgLocalize:
      Count(kLocalize);
      return true;
    case kMsgModified:
      Count(kModified);
      return true;
    case kMsgPatrolEnded:
      FlushFinished(rows_[kHandledRow].url);
      Ended();
      Changed();
      return true;
    default:
      return HandleObjectMessage(msg);
  }
}

bool PatrolStatus::HandleObjectMessage(Message& msg) {
  if (msg.message < kMsgObjInterval || msg.message > kMsgObjReleased) return false;
  const std::optional<DLObjStatus> block = TakeObjStatus(msg);
  if (!block) return true;
  switch (msg.message) {
    case kMsgObjInterval:
      ObjInterval(block->index, block->url);
      break;
    case kMsgObjContacting:
      ObjContacting(block->index);
      break;
    case kMsgObjConnected:
      ObjConnected(block->index);
      break;
    case kMsgObjLength:
      ObjLength(block->index, block->length);
      break;
    case kMsgObjProgress:
      ObjProgress(block->index, block->length, block->received);
      break;
    case kMsgObjReleased:
      ObjReleased(block->index, block->completed, block->stopped, block->failure);
      break;
  }
  return true;
}

void PatrolStatus::Reset() {
  for (Row& row : rows_) row = Row{};
  counters_.fill(0);
  modified_percent_.clear();
  pending_.fill(0);
  ended_ = false;
  Changed();
}

void PatrolStatus::Handling(const std::string& url) {
  rows_[kHandledRow].url = url;
  Changed();
}

void PatrolStatus::ObjInterval(int index, const std::string& url) {
  if (!ValidIndex(index)) return;
  Row& row = ObjRow(index);
  row.url = url;
  row.bytes = kInterval;
  row.size = kZero;
  row.lamp = 0;
  Changed();
}

void PatrolStatus::ObjContacting(int index) {
  if (!ValidIndex(index)) return;
  ObjRow(index).bytes = kContacting;
  Changed();
}

void PatrolStatus::ObjConnected(int index) {
  if (!ValidIndex(index)) return;
  ObjRow(index).bytes = kConnected;
  Changed();
}

void PatrolStatus::ObjLength(int index, int64_t length) {
  if (!ValidIndex(index)) return;
  Row& row = ObjRow(index);
  if (length == -1) {
    row.size = kUnknown;
    row.percent = kUnknown;
  } else {
    row.size = Decimal(length);
    row.percent = kZero;
  }
  row.bytes = kZero;
  row.lamp = 0;
  Changed();
}

void PatrolStatus::ObjProgress(int index, int64_t length, int64_t received) {
  if (!ValidIndex(index)) return;
  Row& row = ObjRow(index);
  row.bytes = Decimal(received);
  if (length != -1) {
    // A length of 0 never reaches here with a body, but a server may send more than it said.
    const int64_t percent = length > 0 ? received * 100 / length : 100;
    row.percent = Decimal(percent);
    row.lamp = static_cast<int>(std::clamp<int64_t>(percent, 0, 100));
  }
  Changed();
}

void PatrolStatus::ObjReleased(int index, bool completed, bool stopped, int failure) {
  if (!ValidIndex(index)) {
    FlushFinished(rows_[kHandledRow].url);
    return;
  }
  Row& row = ObjRow(index);
  FlushFinished(row.url);
  row.bytes = completed ? kComplete : stopped ? kStopped : kFailedWord;
  if (!completed && !stopped && *TlsFailureText(failure) != '\0') {
    row.bytes.append(" (").append(TlsFailureText(failure)).append(")");
  }
  Changed();
}

void PatrolStatus::Count(Counter counter, const std::string& url, int failure) {
  ++counters_[counter];
  if (counter == kModified && counters_[kLocalize] != 0) {
    modified_percent_ = Decimal(int64_t{counters_[kModified]} * 100 / counters_[kLocalize]);
  }
  if (counter == kVisited || counter == kFailed) {
    const bool visited = counter == kVisited;
    if (!url.empty()) {
      if (finished_listener_) finished_listener_(Finished{visited, url, TlsFailureText(failure)});
    } else {
      ++pending_[visited ? 1 : 0];
    }
  }
  Changed();
}

void PatrolStatus::FlushFinished(const std::string& url) {
  for (int visited = 0; visited < 2; ++visited) {
    for (; pending_[visited] > 0; --pending_[visited]) {
      if (finished_listener_) finished_listener_(Finished{visited == 1, url, {}});
    }
  }
}

std::string PatrolStatus::CounterLine() const {
  std::string line;
  for (int c = 0; c < kCounters; ++c) {
    if (c) line.push_back(' ');
    line.append(kCounterNames[c]);
    line.push_back(' ');
    line.append(Decimal(counters_[c]));
  }
  return line;
}

uint32_t PatrolStatus::LampColour(int value) {
  constexpr double kTwoPi = 2 * std::numbers::pi;
  const double t = value * kTwoPi / 150;
  auto channel = [](double x) {
    return static_cast<uint32_t>(std::clamp(128 + 255 * std::cos(x), 0.0, 255.0));
  };
  const uint32_t blue = channel(t);
  const uint32_t red = channel(t + kTwoPi / 3);
  const uint32_t green = channel(t + 2 * kTwoPi / 3);
  return red << 16 | green << 8 | blue;
}

}  // namespace qlm
