// The download manager's fetching phase: the start of a patrol, and the dispatch step that takes
// one record at a time out of the work queue (or the deferred list) and fetches it, renews it from
// its local copy, hands it to the object that fetches its URL already, or defers it.
#include <mutex>
#include <set>

#include "crawl/ContentRules.h"
#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "crawl/FileStamp.h"
#include "crawl/MirrorFiles.h"
#include "crawl/RobotsCopy.h"
#include "net/RobotsRules.h"
#include "net/TlsContext.h"
#include "platform/ApplicationLock.h"
#include "platform/Messaging.h"
#include "project/CQLMDoc.h"

namespace qlm {

namespace {

// A robots.txt may be redirected; a chain longer than this (or one that comes back to itself) is
// taken as no robots.txt at all.
constexpr int kMaxRobotsRedirects = 5;

bool SameQuery(const CUrl& a, const CUrl& b) {
  return a.Query() == b.Query();
}

}  // namespace

bool DLManager::BeginPatrol() {
  patrol_start_ = FileStampNow();
  store_.RememberWrites();
  generation_ = std::make_unique<MirrorGeneration>(
      store_.WorkFile(doc_.Name(), kMirrorGenerationExtension), store_.Durable());
  store_.TellChangesTo(generation_.get());
  link_cache_ = std::make_unique<StoredLinkCache>(store_.WorkFile(doc_.Name(), ".lc"));
  link_cache_->Load();
  validators_ = std::make_unique<ValidatorLog>(store_.WorkFile(doc_.Name(), kValidatorLogExtension),
                                               store_.MirrorRoot());
  validators_->Open();
  // What a killed patrol left in the work folder goes; records it held go back first (pages it
  // was localising too), so that the start sees them.
  RemoveTemporaryFiles(doc_.ProjectFolder());
  spares_ = std::make_unique<SpareFiles>(doc_.ProjectFolder());
  for (auto& obj : objects_) obj->SetSpares(spares_.get());
  spare_sockets_ = std::make_unique<SpareSockets::Keeper>();
  work_.RestoreHeldLocalize();
  work_.RestoreHeldForRefetch();
  // The authorities a patrol trusts are read as it starts: a file changed since the last patrol
  // is read again (and the sessions verified under the old ones are dropped).
  TlsContext::Instance().Configure(doc_.Settings().Text(AppText::TlsCAFile));
  const ProjectItem* start = nullptr;
  if (request_->item) {
    std::lock_guard lock(ApplicationLock());
    start = doc_.FindItem(request_->item->folder_path, request_->item->url);
    if (!start) return false;
  }
  CQLMDoc::PatrolStart started;
  if (!doc_.StartPatrol(start, request_->selected_only, started)) return false;
  for (std::size_t i = 0; i < started.work; ++i) events_.Detected();
  for (std::size_t i = 0; i < started.localize; ++i) events_.Localizing();
  // A resumed patrol goes on with the URLs it knew; a new one starts with none.
  urls_.Open(PatrolUrlSetPath(doc_.WorkQueue().Path()), !started.resumed);
  admission_ = std::make_unique<LinkAdmission>(doc_, LinkAdmission::ForbiddenUrls(doc_), events_);
  admission_->SetUrlSet(&urls_);
  return true;
}

// ---- Dispatch ----

void DLManager::DispatchStep() {
  if (work_.Failed()) {
    SetState(State::kDraining);  // a queue file failed: stop with the files as they are
    return;
  }
  if (FreeObjects() == 0) {
    SetState(State::kFetching);
    return;
  }
  if (deferred_.empty() && !work_.HasWork()) {
    SetState(Settled() ? State::kLocalizing : State::kFetching);
    return;
  }
  SetState(State::kFetching);
  HeldRecord held;
  // Nothing ready: every deferred record waits for a busy download, whose release comes back here.
  if (!ChooseRecord(held)) return;
  Process(std::move(held));
}

bool DLManager::ChooseRecord(HeldRecord& held) {
  if (UseRobotsTxt()) {
    for (auto it = deferred_.begin(); it != deferred_.end(); ++it) {
      if (DeferredReady(it->record)) {
        held = std::move(*it);
        deferred_.erase(it);
        return true;
      }
    }
  }
  return work_.TakeNext(held);
}

bool DLManager::DeferredReady(const LinkRecord& record) {
  const std::optional<std::string> robots = RobotsUrl(record.robots_url, record.url);
  if (!robots) return true;
  if (RobotsCopyState(store_, *robots, record.folder_path, patrol_start_) != kRobotsUnwritten) {
    return true;
  }
  return BusyWithRobots(record) == nullptr;
}

void DLManager::Process(HeldRecord held) {
  // The item stays valid while the lock is held: the user interface changes the tree under it.
  std::lock_guard lock(ApplicationLock());
  const ProjectItem* item = FindItem(held.record);
  CUrl url;
  // The items' own records, and those a resumed patrol finds queued, are noted as they come up.
  if (item) urls_.Admit(held.record);
  if (!item || !url.Parse(held.record.url)) {
    work_.Done(held);  // the item is gone, or the URL is not one: dropped without a count
  } else if (urls_.HasFailed(held.record)) {
    work_.Done(held);  // it failed all its tries in this patrol: the server is not asked again
  } else if (DLObj* busy = BusyWithUrl(held.record, url)) {
    if (work_.Hold(held)) busy->HandOver(held);
  } else if (const LocalCopy copy = store_.FindLocalCopy(url, held.record.folder_path);
             copy.Exists()) {
    Renew(std::move(held), *item, url, copy);
  } else {
    Fetch(std::move(held), *item, url, std::nullopt);
  }
  if (FreeObjects() > 0) PostStep(kMsgNext);
}

void DLManager::Renew(HeldRecord held, const ProjectItem& item, const CUrl& url,
                      const LocalCopy& copy) {
  const bool fresh = copy.written > patrol_start_;
  // A copy stored for a record that a killed patrol still held may be cut off: it is fetched
  // again in full unless this patrol wrote it anew.
  const bool suspect = (held.record.flags & kFlagFetchInFull) != 0;
  if (fresh || (!suspect && doc_.Settings().Number(AppNumber::RenewalType) == 3)) {
    ReadStoredPage({&held.record}, held.record, url, LinkAdmission::kModePatrol);
    CountVisited(held.record);
    work_.Done(held);
    return;
  }
  if (suspect) {
    Fetch(std::move(held), item, url, std::nullopt);
  } else {
    Fetch(std::move(held), item, url, copy.written,
          validators_ ? validators_->Find(copy.file, copy.written) : Validators{});
  }
}

void DLManager::Fetch(HeldRecord held, const ProjectItem& item, const CUrl& url,
                      std::optional<FileTime> copy_written, const Validators& validators) {
  if (!url.IsWeb()) {
    work_.Done(held);  // a file URL is never fetched
    return;
  }
  bool robots_first = false;
  if (UseRobotsTxt()) {
    switch (AskRobots(held.record)) {
      case RobotsAnswer::kAllowed:
        break;
      case RobotsAnswer::kRefused:
        CountFailed(held.record);
        work_.Done(held);
        return;
      case RobotsAnswer::kUnknown:
        if (BusyWithRobots(held.record)) {
          if (work_.Hold(held)) deferred_.push_back(std::move(held));
          return;
        }
        robots_first = true;
        break;
    }
  }
  DLObj* obj = FirstFree();
  if (!obj || !work_.Hold(held)) {
    if (!obj) work_.Requeue(held);
    return;  // no free object (a deferred record waits in front again), or a queue file failed
  }
  const ItemDefaults& defaults = doc_.Defaults();
  obj->Start(held, Status(), Handle(), doc_.ProjectFolder(), ProxyFromSettings(doc_.Settings()));
  obj->SetLimits(ItemDownloadLimits(item, defaults, doc_.Settings()));
  SetFetchRequestLines(*obj->Main(), held.record, item, defaults, doc_.Settings(), copy_written,
                       !robots_first, validators);
  obj->Begin(robots_first, first_start_);  // the object is outstanding until its release
  first_start_ = false;
}

DLManager::RobotsAnswer DLManager::AskRobots(LinkRecord& record) {
  std::optional<std::string> robots = RobotsUrl(record.robots_url, record.url);
  if (!robots) return RobotsAnswer::kAllowed;
  std::set<std::string> seen;
  for (int hops = 0; hops <= kMaxRobotsRedirects; ++hops) {
    switch (RobotsCopyState(store_, *robots, record.folder_path, patrol_start_)) {
      case kRobotsKnown:
        return IsAllowedByRobots(store_, *robots, record.url, record.folder_path)
                   ? RobotsAnswer::kAllowed
                   : RobotsAnswer::kRefused;
      case kRobotsUnwritten:
        return RobotsAnswer::kUnknown;
      case kRobotsMoved:
        break;
    }
    // Follow the redirect page to the robots.txt it names; the record keeps that location.
    seen.insert(*robots);
    std::optional<std::string> location = MovedRobotsLocation(store_, *robots, record.folder_path);
    if (!location) return RobotsAnswer::kUnknown;
    if (seen.contains(*location)) break;
    record.robots_url = *location;
    robots = std::move(location);
  }
  // Redirects that go round in circles lead to no robots.txt: nothing is ruled out.
  return RobotsAnswer::kAllowed;
}

DLObj* DLManager::FirstFree() {
  for (auto& obj : objects_) {
    if (obj->IsFree()) return obj.get();
  }
  return nullptr;
}

DLObj* DLManager::BusyWithUrl(const LinkRecord& record, const CUrl& url) {
  for (auto& obj : objects_) {
    if (obj->IsFree()) continue;
    const CUrl& busy = obj->Url();
    if (obj->Current().folder_path == record.folder_path &&
        busy.UrlWithoutQuery() == url.UrlWithoutQuery() && SameQuery(busy, url)) {
      return obj.get();
    }
  }
  return nullptr;
}

DLObj* DLManager::BusyWithRobots(const LinkRecord& record) {
  const std::optional<std::string> robots = RobotsUrl(record.robots_url, record.url);
  if (!robots) return nullptr;
  for (auto& obj : objects_) {
    if (obj->IsFree()) continue;
    const LinkRecord& busy = obj->Current();
    if (busy.folder_path == record.folder_path && RobotsUrl(busy.robots_url, busy.url) == robots) {
      return obj.get();
    }
  }
  return nullptr;
}

const ProjectItem* DLManager::FindItem(const LinkRecord& record) const {
  std::lock_guard lock(ApplicationLock());
  return doc_.FindItem(record.folder_path, record.item_url);
}

bool DLManager::UseRobotsTxt() const {
  return doc_.Settings().Number(AppNumber::UseRobotsTxt) > 0;
}

}  // namespace qlm
