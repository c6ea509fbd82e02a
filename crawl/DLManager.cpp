#include "crawl/DLManager.h"

#include <unistd.h>

#include <mutex>
#include <set>
#include <thread>

#include "crawl/ContentRules.h"
#include "crawl/CrawlMessages.h"
#include "crawl/FileStamp.h"
#include "crawl/LocalPath.h"
#include "crawl/MirrorFiles.h"
#include "crawl/RobotsCopy.h"
#include "crawl/SavedDataJob.h"
#include "crawl/StoredPage.h"
#include "crawl/StoredVariant.h"
#include "crawl/Validators.h"
#include "net/CRasMan.h"
#include "net/RobotsRules.h"
#include "net/TlsContext.h"
#include "net/WSMessages.h"
#include "platform/ApplicationLock.h"
#include "platform/Messaging.h"
#include "project/CQLMDoc.h"

namespace qlm {

namespace {

// Dial-up notices (the RAS connection states of CRasMan).
constexpr WParam kLineConnected = 8192;
constexpr WParam kLineDisconnected = 8193;

// A robots.txt may be redirected; a chain longer than this (or one that comes back to itself) is
// taken as no robots.txt at all.
constexpr int kMaxRobotsRedirects = 5;

std::mutex saved_data_mutex;
DLManager::SavedDataFactory saved_data_factory;  // guarded by saved_data_mutex

bool SameQuery(const CUrl& a, const CUrl& b) {
  return a.Query() == b.Query();
}

}  // namespace

void DLManager::SetSavedDataFactory(SavedDataFactory factory) {
  std::lock_guard lock(saved_data_mutex);
  saved_data_factory = std::move(factory);
}

std::unique_ptr<Window> DLManager::Make(std::unique_ptr<ManagerRequest> request) {
  auto* patrol = dynamic_cast<PatrolRequest*>(request.get());
  if (!patrol || !patrol->doc) return nullptr;
  request.release();
  auto manager = std::make_unique<DLManager>(std::unique_ptr<PatrolRequest>(patrol));
  if (!manager->CreateWindows()) return nullptr;
  return manager;
}

void DLManager::Install() {
  CWSThread::SetManagerFactory(&DLManager::Make);
  SetSavedDataFactory(&SavedDataJob::Make);
}

DLManager::DLManager(std::unique_ptr<PatrolRequest> request)
    : request_(std::move(request)),
      doc_(*request_->doc),
      store_(doc_.Settings().MirrorFolder(), ApplicationLock(), request_->durable,
             doc_.ProjectFolder()),
      events_(Status()),
      work_(doc_, request_->durable),
      checkpoint_(doc_.ProjectFolder()) {
  for (int i = 0; i < kObjectCount; ++i) objects_[i] = std::make_unique<DLObj>(i);
}

DLManager::~DLManager() {
  Destroy();  // while the download objects still exist: its handler resets them
  for (auto& obj : objects_) obj.reset();
}

bool DLManager::CreateWindows() {
  for (auto& obj : objects_) {
    if (!obj->CreateHidden()) return false;
  }
  return Create("DLManager", "DLManager");
}

LinkAdmission& DLManager::Admission() {
  if (!admission_) {
    admission_ = std::make_unique<LinkAdmission>(doc_, LinkAdmission::ForbiddenUrls(doc_), events_);
  }
  return *admission_;
}

LResult DLManager::WindowProc(Message& msg) {
  switch (msg.message) {
    case kMsgStart:
      OnStart();
      return 0;
    case kMsgDialResult:
      OnDialResult(msg.wparam, msg.lparam);
      return 0;
    case kMsgStop:
      OnStop();
      return 0;
    case kMsgNext:
      DispatchStep();
      return 0;
    case kMsgNextLocalize:
      LocalizeStep();
      return 0;
    case kMsgRobotsDone:
      OnRobotsDone(static_cast<int>(LoWord(msg.lparam)));
      return 0;
    case kMsgDownloadDone:
      OnDownloadDone(static_cast<int>(LoWord(msg.lparam)));
      return 0;
    case kMsgSynced:
      OnSynced(static_cast<int>(msg.wparam));
      return 0;
    case kMsgReleased:
      // The released record (the payload) goes with the message; the step it ends is still
      // counted as outstanding.
      PostMessage(Handle(), kMsgNext);
      return 0;
    case kMsgFreeBlock:
    case kMsgIgnored:
      return 0;
    case kMsgSavedDataStart:
    case kMsgCollectUrl:
    case kMsgOperateUrl:
    case kMsgCollectFolder:
    case kMsgOperateFolder: {
      if (!saved_data_) {
        SavedDataFactory factory;
        {
          std::lock_guard lock(saved_data_mutex);
          factory = saved_data_factory;
        }
        if (factory) saved_data_ = factory(*this);
      }
      if (saved_data_) {
        saved_data_->Handle(*this, msg);
      } else if (msg.message == kMsgSavedDataStart) {
        EndPatrol();  // nobody can carry it out; the requester must not wait for ever
      }
      return 0;
    }
    case WM_DESTROY:
      for (auto& obj : objects_) {
        obj->Reset();
        obj->RemoveTempFile();
        obj->Destroy();
      }
      return 0;
    default:
      return Window::WindowProc(msg);
  }
}

// ---- Start, dial-up and stop ----

void DLManager::OnStart() {
  if (phase_ != kPhaseIdle) return;
  phase_ = kPhaseStarting;
  if (request_->dialer && doc_.Settings().Number(AppNumber::AutoDialup) > 0) {
    line_ = Line::kAsked;
    request_->dialer->Dial(Handle());
    return;
  }
  BeginPatrol();
}

void DLManager::OnDialResult(WParam state, LParam error) {
  if (ended_) return;
  if (error != 0) {
    // The dial failed (or the line was released twice): nobody holds the line for us. The notify
    // window hears why the patrol ends before it ends.
    line_ = Line::kNone;
    PostMessage(Notify(), kMsgDialResult, state, error);
    EndPatrol();
    return;
  }
  if (state == kLineConnected) {
    if (phase_ == kPhaseStarting && !stop_) BeginPatrol();
  } else if (state == kLineDisconnected) {
    hung_up_ = true;
    if (phase_ == kPhaseStarting || phase_ == kPhaseEnded) EndPatrol();
  }
}

void DLManager::OnStop() {
  if (ended_ || stop_) return;
  stop_ = true;
  if (line_ == Line::kAsked) {
    line_ = Line::kReleased;
    request_->dialer->Release(Handle());
  }
  if (phase_ < kPhaseFetching) {
    // Nothing was taken out of the queues yet; a dial under way ends with its answer.
    phase_ = kPhaseEnded;
    if (line_ != Line::kReleased || hung_up_) EndPatrol();
    return;
  }
  for (auto& obj : objects_) {
    if (!obj->IsFree()) obj->Abort();
  }
  if (Settled()) FinishStop();
}

void DLManager::FinishStop() {
  // Only the deferred records are still held: they go back to the front of the work queue.
  work_.RestoreHeld();
  deferred_.clear();
  phase_ = kPhaseEnded;
  if (line_ == Line::kAsked) {
    line_ = Line::kReleased;
    request_->dialer->Release(Handle());
  }
  if (line_ == Line::kReleased && !hung_up_) return;  // ends with the dial-up manager's answer
  EndPatrol();
}

void DLManager::EndPatrol() {
  if (ended_) return;
  ended_ = true;
  phase_ = kPhaseEnded;
  // The download objects go before the end is told, so that whoever hears of it finds the work
  // folder without their temporary files. Records of downloads still running stay in the held
  // chain and are found by the next start.
  DropSpares();
  for (auto& obj : objects_) {
    obj->Reset();
    obj->RemoveTempFile();
  }
  // Spare files taken after the spares went may have kept their folder.
  ::rmdir(SpareFolderOf(doc_.ProjectFolder()).c_str());
  crew_.reset();  // its helpers' staging files go with it
  if (!store_.StagingFile().empty()) ::unlink(store_.StagingFile().c_str());
  urls_.Flush();
  SaveLinkCache(false);
  if (work_.Skipped() > 0) {
    PostMessage(Notify(), kMsgQueueRecordsSkipped, static_cast<WParam>(work_.Skipped()), 0);
  }
  events_.Ended();
  Destroy();
  // This object is freed by the thread that made it, after this handler.
  PostThreadMessage(CurrentThreadLoopId(), WM_WS_FREE_ENDED);
}

void DLManager::DropSpares() {
  for (auto& obj : objects_) obj->SetSpares(nullptr);
  spares_.reset();  // the files not taken go with it
  spare_sockets_.reset();
}

void DLManager::Checkpoint() {
  if (work_.Unsealed() >= kRecordsPerSync) StartSync();
}

bool DLManager::Settled() {
  if (outstanding_ > 0) return false;
  if (!work_.HasUnsealed()) return true;
  StartSync();
  return false;
}

void DLManager::StartSync() {
  if (checkpoint_.Running()) return;
  work_.Seal();
  ++outstanding_;
  checkpoint_.Start(Handle(), kMsgSynced);
}

void DLManager::OnSynced(int error) {
  checkpoint_.Finish();
  work_.SyncEnded(error);
  Checkpoint();
  // The sync was an outstanding step. When it was the last one, the phase goes on from a step of
  // its own (which may end it); otherwise a step still to come does that.
  if (--outstanding_ > 0 || ended_) return;
  ++outstanding_;
  PostMessage(Handle(), phase_ == kPhaseLocalizing ? kMsgNextLocalize : kMsgNext);
}

void DLManager::BeginPatrol() {
  phase_ = kPhaseFetching;
  patrol_start_ = FileStampNow();
  store_.RememberWrites();
  generation_ = std::make_unique<MirrorGeneration>(
      store_.WorkFile(doc_.Name(), kMirrorGenerationExtension), store_.Durable());
  store_.TellChangesTo(generation_.get());
  link_cache_ = std::make_unique<StoredLinkCache>(store_.WorkFile(doc_.Name(), ".lc"));
  link_cache_->Load();
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
    if (!start) {
      EndPatrol();
      return;
    }
  }
  CQLMDoc::PatrolStart started;
  if (!doc_.StartPatrol(start, request_->selected_only, started)) {
    EndPatrol();
    return;
  }
  for (std::size_t i = 0; i < started.work; ++i) events_.Detected();
  for (std::size_t i = 0; i < started.localize; ++i) events_.Localizing();
  // A resumed patrol goes on with the URLs it knew; a new one starts with none.
  urls_.Open(PatrolUrlSetPath(doc_.WorkQueue().Path()), !started.resumed);
  admission_ = std::make_unique<LinkAdmission>(doc_, LinkAdmission::ForbiddenUrls(doc_), events_);
  admission_->SetUrlSet(&urls_);
  outstanding_ = 1;
  DispatchStep();
}

// ---- Dispatch ----

void DLManager::Next() {
  ++outstanding_;
  PostMessage(Handle(), kMsgNext);
}

void DLManager::DispatchStep() {
  --outstanding_;
  if (ended_ || phase_ != kPhaseFetching) return;
  if (work_.Failed() && !stop_) OnStop();  // a queue file failed: stop with the files as they are
  if (ended_ || free_ == 0) return;
  if (stop_) {
    if (Settled()) FinishStop();
    return;
  }
  if (deferred_.empty() && !work_.HasWork()) {
    if (Settled()) BeginLocalization();
    return;
  }
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
  if (free_ > 0) Next();
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
    Fetch(std::move(held), item, url, copy.written, ReadValidators(copy.file));
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
  obj->Begin(robots_first, first_start_);
  first_start_ = false;
  --free_;
  ++outstanding_;
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

void DLManager::ReadStoredPage(const std::vector<const LinkRecord*>& referrers,
                               const LinkRecord& page, int mode,
                               const LinkAdmission::Sink& collect) {
  CUrl url;
  if (!url.Parse(page.url)) {
    events_.Handling(page.url);
    return;
  }
  ReadStoredPage(referrers, page, url, mode, collect);
}

void DLManager::ReadStoredPage(const std::vector<const LinkRecord*>& referrers,
                               const LinkRecord& page, const CUrl& url, int mode,
                               const LinkAdmission::Sink& collect) {
  events_.Handling(page.url);
  // Only a page or a style sheet holds links; what a URL with variants holds, its copy tells.
  const std::string_view bare;
  if (HasStoredVariants(url)
          ? StoredContentOf(url, store_.FindLocalCopy(url, page.folder_path).suffix) ==
                StoredContent::kOther
          : StoredContentOf(url, bare) == StoredContent::kOther) {
    return;
  }
  std::vector<const LinkRecord*> expanding;
  for (const LinkRecord* referrer : referrers) {
    if (mode != LinkAdmission::kModePatrol || expanded_.Expand(*referrer)) {
      expanding.push_back(referrer);
    }
  }
  if (expanding.empty()) return;  // expanded before in this patrol, no deeper
  std::vector<PageLink> links;
  if (!ReadStoredPageLinks(store_, page.url, page.folder_path, links, link_cache_.get())) return;
  if (mode == LinkAdmission::kModePatrol) {
    AdmitToWork(expanding, links);
    QueueForLocalizing(page, false);
  } else {
    Admission().Admit(expanding, links, mode, collect);
  }
}

bool DLManager::AdmitToWork(const std::vector<const LinkRecord*>& referrers,
                            const std::vector<PageLink>& links) {
  // A page's records go into the queue file together. Many links of a densely linked site lead
  // to files this patrol stored already: such a record is counted visited at once instead of
  // being written to the queue, read back, looked up and let go of, for the same end.
  // The lists are kept between pages for their room; the settled URLs go end to end in one text.
  std::vector<LinkRecord>& admitted = admitted_;
  admitted.clear();
  settled_urls_.clear();
  settled_ends_.clear();
  Admission().Admit(referrers, links, LinkAdmission::kModePatrol,
                    [&](LinkRecord& record, const CUrl& url) {
                      if (SettledAlready(record, url)) {
                        if (urls_.FirstVisit(record)) {
                          settled_urls_ += record.url;
                          settled_ends_.push_back(settled_urls_.size());
                        }
                      } else {
                        admitted.push_back(std::move(record));
                      }
                      return true;
                    });
  std::size_t start = 0;
  for (const std::size_t end : settled_ends_) {
    const std::string_view url = std::string_view(settled_urls_).substr(start, end - start);
    events_.Handling(url);
    events_.Visited(url);
    start = end;
  }
  const bool appended = work_.AppendAll(admitted);
  // After the records it stands for: a kill in between leaves a URL queued, never noted but lost.
  if (appended) urls_.Flush();
  return appended;
}

void DLManager::CountVisited(const LinkRecord& record) {
  if (urls_.FirstVisit(record)) events_.Visited(record.url);
}

void DLManager::CountFailed(const LinkRecord& record, int reason) {
  if (urls_.FirstFailure(record)) events_.Failed(record.url, reason);
}

void DLManager::QueueForLocalizing(const LinkRecord& page, bool when_durable) {
  // Read again from a shallower link, a page is not queued again: the pass rewrites it once, after
  // all fetching, whatever queued it.
  if (!expanded_.FirstLocalizing(page)) return;
  if (when_durable ? work_.AppendLocalizeWhenDurable(page) : work_.AppendLocalize(page)) {
    events_.Localizing();
  }
}

bool DLManager::SettledAlready(const LinkRecord& record, const CUrl& url) {
  // What Process would find: nobody fetches the URL now, its copy is one this patrol wrote (so
  // Renew only reads it), and the copy is no page or a page expanded before no deeper.
  if (BusyWithUrl(record, url) ||
      !store_.RemembersWritingSince(url, record.folder_path, patrol_start_)) {
    return false;
  }
  return StoredContentOf(url, {}) == StoredContent::kOther || expanded_.Covers(record);
}

// ---- Localization pass ----

void DLManager::SaveLinkCache(bool used_only) {
  if (!link_cache_) return;
  link_cache_->Save(used_only);
  link_cache_.reset();
}

void DLManager::BeginLocalization() {
  if (line_ == Line::kAsked) {
    line_ = Line::kReleased;
    request_->dialer->Release(Handle());
  }
  DropSpares();
  // What the downloads and the expansion of their pages kept for their room is not needed again:
  // the localization pass holds a site's largest page twice, and its peak is the patrol's.
  for (auto& obj : objects_) obj->DropKeptBody();
  std::vector<PageLink>().swap(page_links_);
  std::vector<LinkRecord>().swap(admitted_);
  std::string().swap(settled_urls_);
  std::vector<std::size_t>().swap(settled_ends_);
  work_.ResetWork();
  outstanding_ = 1;
  localize_start_ = FileStampNow();
  phase_ = kPhaseLocalizing;
  LocalizeStep();
}

void DLManager::LocalizeStep() {
  --outstanding_;
  if (ended_ || phase_ != kPhaseLocalizing) return;
  if (work_.Failed() && !stop_) stop_ = true;
  if (stop_) {
    if (Settled()) FinishStop();
    return;
  }
  // A run of records is localised side by side; what is told of them, and their leaving the
  // queue, follows in their order.
  std::vector<HeldRecord> taken;
  std::vector<LocalizeCrew::Page> pages;
  std::vector<bool> handled;
  HeldRecord held;
  while (taken.size() < kLocalizeRun && work_.TakeLocalize(held)) {
    const LinkRecord& record = held.record;
    CUrl url;
    handled.push_back(url.Parse(record.url));
    if (handled.back()) {
      std::lock_guard lock(ApplicationLock());
      if (const ProjectItem* item = doc_.FindItem(record.folder_path, record.item_url)) {
        LocalizeCrew::Page& page = pages.emplace_back();
        page.url = record.url;
        page.folder_path = record.folder_path;
        page.stored_as = record.storage_name;
        page.localize_link = std::max(0, doc_.Defaults().Resolve(*item, ItemOption::LocalizeLink));
      }
    }
    taken.push_back(std::move(held));
  }
  if (taken.empty()) {
    if (Settled()) {
      if (!work_.Failed()) {
        work_.ResetLocalize();
        urls_.Remove();  // the patrol is over: the next one starts with no URLs
        SaveLinkCache(true);
      }
      EndPatrol();
    }
    return;
  }
  if (!crew_) {
    crew_ = std::make_unique<LocalizeCrew>(
        store_, LocalizeCrew::HelpersFor(std::thread::hardware_concurrency()));
  }
  crew_->Localize(pages, localize_start_);
  if (link_cache_) {
    for (const LocalizeCrew::Page& page : pages) {
      if (page.result != PageLocalizer::kLocalized) continue;
      link_cache_->Rewritten(StoredLinkCache::KeyOf(page.url, page.folder_path),
                             page.outcome.read, page.outcome.written);
    }
  }
  for (std::size_t i = 0; i < taken.size(); ++i) {
    if (handled[i]) {
      events_.Handling(taken[i].record.url);
      events_.Localized();
    }
    work_.DoneLocalizeWhenDurable(taken[i].node);
  }
  Checkpoint();
  ++outstanding_;
  PostMessage(Handle(), kMsgNextLocalize);
}

}  // namespace qlm
