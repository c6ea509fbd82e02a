#include "tests/crawl/PatrolHarness.h"

#include <gtest/gtest.h>

#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "net/TlsSession.h"
#include "net/WSMessages.h"
#include "net/WSStartup.h"
#include "platform/Messaging.h"
#include "tests/crawl/MirrorTree.h"
#include "tests/support/PumpUntil.h"

namespace qlm::test {

std::ostream& operator<<(std::ostream& out, const PatrolCounters& c) {
  return out << "Detected " << c.detected << " Retry " << c.retry << " Visited " << c.visited
             << " Failed " << c.failed << " Localize " << c.localize << " Modified " << c.modified;
}

void RecordingPictures::PickUp(const LinkRecord& record, const std::string& stored_file) {
  std::lock_guard lock(mutex_);
  taken_.emplace_back(record.url, stored_file);
}

std::vector<std::pair<std::string, std::string>> RecordingPictures::Taken() const {
  std::lock_guard lock(mutex_);
  return taken_;
}

PatrolHarness::PatrolHarness(Clock& worker_clock)
    : watchdog_(std::chrono::seconds(60), loop_.Id()),
      notify_([this](Message& msg) { return OnNotify(msg); }),
      worker_(worker_clock) {
  // Tests ask for what they need; these keep them quick and free of waiting.
  Settings().SetStored(AppNumber::AccessInterval, 0);
  Settings().SetStored(AppNumber::UseRobotsTxt, 0);
  Settings().SetStored(AppNumber::AutoDialup, 0);
  notify_.Create();
  WSStartup();
  EXPECT_TRUE(worker_.Start());
  DLManager::Install();
}

PatrolHarness::~PatrolHarness() {
  notify_.SetHandler(nullptr);
  notify_.Destroy();
  worker_.Stop();
  CWSThread::SetManagerFactory(nullptr);
}

void PatrolHarness::Begin(const std::function<void(PatrolRequest&)>& fill, bool start) {
  manager_ = 0;
  start_ = start;
  answered_ = false;
  ended_ = false;
  counters_ = {};
  handled_.clear();
  announced_.clear();
  finished_.clear();
  released_.clear();
  messages_.clear();
  auto request = std::make_unique<PatrolRequest>();
  request->requester = notify_.Handle();
  request->doc = &Doc();
  request->pictures = &pictures_;
  request->durable = false;
  if (fill) fill(*request);
  ASSERT_TRUE(PostThreadMessage(worker_.Id(), WM_WS_CREATE_MANAGER, 0, 0, std::move(request)));
}

bool PatrolHarness::WaitForEnd(std::chrono::milliseconds limit) {
  return PumpUntil([this] { return ended_ || (answered_ && manager_ == 0); }, limit);
}

bool PatrolHarness::Run(const std::function<void(PatrolRequest&)>& fill) {
  Begin(fill);
  return WaitForEnd();
}

void PatrolHarness::Stop() {
  ASSERT_NE(manager_, Hwnd{0});
  PostMessage(manager_, kMsgStop);
}

void PatrolHarness::Kill() {
  worker_.Stop();
  ASSERT_TRUE(worker_.Start());
}

bool PatrolHarness::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return test::PumpUntil(loop_, done, limit);
}

LResult PatrolHarness::OnNotify(Message& msg) {
  messages_.push_back(msg.message);
  if (msg.message == stop_at_ && manager_ != 0) {
    stop_at_ = 0;
    PostMessage(manager_, kMsgStop);
  }
  switch (msg.message) {
    case kMsgManagerCreated:
      manager_ = msg.TakePayloadValue<Hwnd>(0);
      answered_ = true;
      if (manager_ != 0 && start_) PostMessage(manager_, kMsgStart);
      break;
    case kMsgHandling:
      handled_.push_back(msg.TakeText().value_or(std::string()));
      break;
    case kMsgObjInterval:
      if (auto status = msg.TakePayload<DLObjStatus>()) announced_.push_back(status->url);
      break;
    case kMsgObjReleased:
      if (auto status = TakeObjStatus(msg)) released_.push_back(status->completed);
      break;
    case kMsgDetected:
      ++counters_.detected;
      break;
    case kMsgRetry:
      ++counters_.retry;
      break;
    case kMsgVisited:
      ++counters_.visited;
      finished_.push_back(msg.TakeText().value_or(std::string()).insert(0, 1, '+'));
      break;
    case kMsgFailed:
      ++counters_.failed;
      finished_.push_back(msg.TakeText().value_or(std::string()).insert(0, 1, '-'));
      if (msg.wparam != 0) {
        finished_.back().append(" (").append(TlsFailureText(static_cast<int>(msg.wparam))) += ')';
      }
      break;
    case kMsgLocalize:
      ++counters_.localize;
      break;
    case kMsgModified:
      ++counters_.modified;
      break;
    case kMsgPatrolEnded:
      ended_ = true;
      break;
    default:
      break;
  }
  return 0;
}

std::map<std::string, std::string> PatrolHarness::Tree() const {
  std::map<std::string, std::string> tree = TreeOf(WorkFolder());
  tree.erase("proj.uq");
  tree.erase("proj.lq");
  tree.erase("proj.us");
  tree.erase("proj.mg");
  tree.erase("proj.lc");
  tree.erase("proj.vl");
  return tree;
}

std::vector<std::string> PatrolHarness::QueuedUrls(PatrolQueue& queue) const {
  std::vector<std::string> urls;
  queue.ForEach(PatrolQueue::Chain::kMain, [&](PatrolQueue::NodeId, std::string_view data) {
    LinkRecord record;
    if (LinkRecord::Decode(data, queue.FileVersion(), record)) urls.push_back(record.url);
    return true;
  });
  return urls;
}

}  // namespace qlm::test
