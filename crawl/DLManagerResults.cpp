// The download manager's handling of what its download objects bring back: the robots.txt
// result, the main request's result by status, and the release of an object.
#include <mutex>

#include "crawl/ContentRules.h"
#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "crawl/DLStatus.h"
#include "crawl/DistinctLinks.h"
#include "crawl/LocalPath.h"
#include "crawl/MirrorFiles.h"
#include "crawl/PageScanner.h"
#include "crawl/PictureHook.h"
#include "crawl/ResultOutcome.h"
#include "crawl/RobotsCopy.h"
#include "crawl/StoredVariant.h"
#include "net/HttpStatusLine.h"
#include "net/TlsSession.h"
#include "net/UrlReference.h"
#include "platform/ApplicationLock.h"
#include "platform/Messaging.h"
#include "project/CQLMDoc.h"

namespace qlm {

namespace {

// A LOCATION value as an absolute URL, resolved against the URL that was asked for (servers send
// relative locations too). Nothing for another scheme or a value that gives no URL.
std::optional<std::string> ResolveLocation(const std::string& location, const CUrl& base) {
  if (location.empty()) return std::nullopt;
  CUrl url;
  if (!url.Parse(ResolveUrlReference(base.Text(), location))) return std::nullopt;
  return url.Text();
}

// Why the object's records failed, when a user can act on it: the page's own request, or the
// robots.txt request that came first and never reached the site.
int FailureOf(DLObj& obj) {
  if (obj.Main() && obj.Main()->TlsFailure() != 0) return obj.Main()->TlsFailure();
  return obj.Robots() ? obj.Robots()->TlsFailure() : 0;
}

ResultFacts FactsOf(const DLObj& obj, const CHttpRequest& request, bool stopping) {
  ResultFacts facts;
  facts.result = request.ResultCode();
  facts.status = request.StatusCode();
  facts.tls_failure = request.TlsFailure();
  facts.challenge = request.ChallengeScheme();
  facts.body_error = obj.BodyError();
  facts.body_refused = obj.BodyRefused();
  facts.stopping = stopping;
  return facts;
}

}  // namespace

std::vector<const LinkRecord*> DLManager::Referrers(const DLObj& obj) {
  std::vector<const LinkRecord*> referrers;
  for (const HeldRecord& held : obj.Records()) referrers.push_back(&held.record);
  return referrers;
}

// ---- What comes before the request: a stop, or a body not written ----

DLObj* DLManager::BusyObject(int index) {
  if (index < 0 || index >= kObjectCount || objects_[index]->IsFree()) return nullptr;
  return objects_[index].get();
}

DLManager::ResultEnd DLManager::Interrupted(DLObj& obj, Outcome outcome) {
  if (outcome == Outcome::kRequeue) {
    // A stopped download is not a failed one: its records go back as they were.
    RequeueAll(obj);
    Release(obj, true, true);
    return ResultEnd::kGoOn;
  }
  // The part that was written goes; the local copy of an earlier patrol is left as it was.
  obj.RemoveTempFile();
  if (outcome == Outcome::kDropBody) {
    Release(obj, true);
    return ResultEnd::kGoOn;
  }
  // The mirror cannot take what the patrol fetches: another download would fare no better.
  const int error = obj.BodyError();
  RequeueAll(obj);
  Release(obj, false, true);
  PostMessage(Notify(), kMsgMirrorWriteFailed, static_cast<WParam>(error), 0);
  return ResultEnd::kStop;
}

// ---- The robots.txt fetched first ----

DLManager::ResultEnd DLManager::OnRobotsDone(int index, bool stopping) {
  DLObj* busy = BusyObject(index);
  if (!busy) return ResultEnd::kGoOn;
  DLObj& obj = *busy;
  CHttpRequest& robots = *obj.Robots();
  const LinkRecord& current = obj.Current();
  const std::string& robots_url = obj.RobotsTxtUrl();
  ResultFacts facts = FactsOf(obj, robots, stopping);
  std::optional<std::string> location;
  if (IsRedirectStatus(facts.status)) {
    CUrl base;
    base.Parse(robots_url);
    location = ResolveLocation(robots.Location(), base);
    facts.has_location = location.has_value();
  }
  const Outcome outcome = RobotsOutcome(facts);
  switch (outcome) {
    case Outcome::kRequeue:
    case Outcome::kStop:
    case Outcome::kDropBody:
      return Interrupted(obj, outcome);
    case Outcome::kStore:
      store_.StoreRobotsTxt(robots_url, current.folder_path, obj.TempFile());
      if (IsAllowedByRobots(store_, robots_url, current.url, current.folder_path)) {
        BeginPage(obj);
      } else {
        Release(obj, true);
      }
      break;
    case Outcome::kRedirect:
      // The records learn where their site's robots.txt went and come back to it later.
      store_.WriteRedirectPage(robots_url, current.folder_path, *location, true);
      for (HeldRecord& held : obj.Records()) held.record.robots_url = *location;
      RequeueAll(obj);
      Release(obj, false);
      break;
    case Outcome::kAllowAll:
      store_.WritePermissiveRobotsTxt(robots_url, current.folder_path);
      BeginPage(obj);
      break;
    default:
      Release(obj, true);
      break;
  }
  return ResultEnd::kGoOn;
}

void DLManager::BeginPage(DLObj& obj) {
  SetRefererLine(*obj.Main(), obj.Current());
  obj.Begin(false, false);
}

// ---- The page itself ----

DLManager::ResultEnd DLManager::OnDownloadDone(int index, bool stopping) {
  DLObj* busy = BusyObject(index);
  if (!busy) return ResultEnd::kGoOn;
  DLObj& obj = *busy;
  const ResultFacts facts = FactsOf(obj, *obj.Main(), stopping);
  const Outcome outcome = PageOutcome(facts);
  switch (outcome) {
    case Outcome::kRequeue:
    case Outcome::kStop:
    case Outcome::kDropBody:
      return Interrupted(obj, outcome);
    default:
      break;
  }
  std::lock_guard lock(ApplicationLock());
  switch (outcome) {
    case Outcome::kEachRecord:
      RetryOrAuthenticate(obj, facts);
      break;
    case Outcome::kNotModified:
      NotModified(obj);
      break;
    case Outcome::kRedirect:
      Redirected(obj);
      break;
    case Outcome::kStore:
      Content(obj);
      break;
    default:
      break;  // nothing to store; the records count as done
  }
  Release(obj, true);
  return ResultEnd::kGoOn;
}

void DLManager::RetryOrAuthenticate(DLObj& obj, const ResultFacts& result) {
  const ItemDefaults& defaults = doc_.Defaults();
  std::vector<HeldRecord>& records = obj.Records();
  // From the back, each to the front: the records keep their order at the queue's front. What
  // stays in the list fails at the release.
  for (std::size_t i = records.size(); i-- > 0;) {
    LinkRecord& record = records[i].record;
    RecordFacts facts;
    const ProjectItem* item = FindItem(record);
    facts.item_found = item != nullptr;
    if (item) {
      facts.tries = record.retry;
      facts.max_tries = defaults.Resolve(*item, ItemOption::DLoadRetry);
      facts.use_password = defaults.Resolve(*item, ItemOption::UseHttpPassword) > 0;
      facts.flags = record.flags;
    }
    switch (RecordOutcome(result, facts)) {
      case Outcome::kRetry:
        events_.Retried();
        ++record.retry;
        Requeue(obj, i);
        break;
      case Outcome::kAuthenticate:
        record.flags = WithNextAuthState(record.flags);
        Requeue(obj, i);
        break;
      default:
        break;
    }
  }
}

void DLManager::NotModified(DLObj& obj) {
  const LinkRecord& current = obj.Current();
  // The copy is as new as the server's: it now counts as written in this patrol, so the URL
  // reached again re-uses it instead of asking the server once more, and its validators move
  // with it to its new time.
  const LocalCopy copy = store_.FindLocalCopy(current.url, current.folder_path);
  if (copy.Exists()) {
    const std::optional<FileTime> touched = store_.Touch(copy.file);
    if (touched && validators_ && !validators_->Find(copy.file, copy.written).Empty()) {
      validators_->Moved(copy.file, copy.written, *touched);
    }
  }
  ReadStoredPage(Referrers(obj), current, LinkAdmission::kModePatrol);
}

void DLManager::Redirected(DLObj& obj) {
  const LinkRecord& current = obj.Current();
  const CUrl& fetched = obj.Url();
  const std::optional<std::string> location = ResolveLocation(obj.Main()->Location(), fetched);
  if (!location) return;
  CUrl target;
  target.Parse(*location);
  const int type = fetched.FileType();
  // A page that moved to a picture (or the reverse) is not followed; a cgi URL may go anywhere.
  if (type != kFileTypeCgi && target.FileType() != type) return;
  PageLink link;
  link.kind = kLinkRedirect;
  link.url = *location;
  if (store_.SameLocalName(current.url, *location, current.folder_path)) {
    // http to https of the same page: the target is stored under this very name, no redirect
    // page may stand in its place.
  } else if (IsPageType(type)) {
    store_.WriteRedirectPage(current.url, current.folder_path, *location, false);
    QueueForLocalizing(current, false);
  } else {
    // What arrives from the new place is stored under the name of the URL that was asked for.
    link.storage_name = current.storage_name.empty() ? current.url : current.storage_name;
  }
  AdmitToWork(Referrers(obj), {link});
}

void DLManager::Content(DLObj& obj) {
  const LinkRecord& current = obj.Current();
  const std::string& temp = obj.TempFile();
  const CUrl& fetched = obj.Url();
  const std::string& storage = current.storage_name.empty() ? current.url : current.storage_name;
  CUrl storage_url;
  storage_url.Parse(storage);
  const int type = fetched.FileType();
  std::string_view suffix;
  bool store = true;
  if (storage_url.FileType() == kFileTypeCgi) {
    CHttpRequest& main = *obj.Main();
    suffix = CgiVariantFor(type, main.MediaType(), main.MediaSubtype());
  } else if (!current.storage_name.empty() && storage_url.FileType() != type &&
             type != kFileTypeCgi) {
    store = false;  // the redirect's target is not what the storage name stands for
  } else if (HasStoredVariants(storage_url)) {
    // A page, style sheet or script whose local name a browser would not take for one.
    CHttpRequest& main = *obj.Main();
    suffix = BrowserVariantFor(storage_url, main.MediaType(), main.MediaSubtype());
  }
  // A page is taken once, before it moves into the mirror (the move keeps its bytes): the
  // executable check and the scan for links both use it. Most bodies are still in memory; the
  // file is read only for a larger one. A page that cannot be read yields no links, as its stored
  // copy would not either.
  // A style sheet is read for its links as a page is.
  const StoredContent content = StoredContentOf(fetched, suffix);
  const bool page = content != StoredContent::kOther;
  const CFileBodySink& kept = obj.Body();
  std::string read_page;
  std::string_view page_bytes;
  if (page && kept.KeptWhole()) {
    page_bytes = kept.Kept();
  } else if (page && ReadWholeFile(temp, read_page)) {
    page_bytes = read_page;
  }
  const bool executable = page ? page_bytes.starts_with(kExecutableHeader)
                          : kept.Kept().size() >= kExecutableHeader.size()
                              ? kept.Kept().starts_with(kExecutableHeader)
                              : StartsLikeExecutable(temp);
  if (executable) return;
  std::string body = temp;
  bool temp_left = true;
  std::optional<FileTime> written;
  const bool stored =
      store && store_.StoreFile(temp, storage, current.folder_path, suffix, &body, &temp_left,
                                kept.LastWrite(), &written) == MirrorStore::kStoreOk;
  if (stored && written && validators_) {
    validators_->Stored(body, *written, ValidatorsOfReply(obj.Main()->HeaderText()));
  }

  if (page) ExpandFetchedPage(obj, page_bytes, content == StoredContent::kStyleSheet);
  if (stored && request_->pictures && (type == kFileTypeJpeg || suffix == kCgiVariants[1])) {
    request_->pictures->PickUp(current, body);
  }
  // Last, as `temp` is the object's own name of the file.
  if (!temp_left) obj.TempFileGone();
}

// ---- Requeue and release ----

void DLManager::Requeue(DLObj& obj, std::size_t i) {
  std::vector<HeldRecord>& records = obj.Records();
  work_.Requeue(records[i]);
  records.erase(records.begin() + static_cast<std::ptrdiff_t>(i));
}

void DLManager::RequeueAll(DLObj& obj) {
  for (std::size_t i = obj.Records().size(); i-- > 0;) Requeue(obj, i);
}

void DLManager::Release(DLObj& obj, bool counted, bool stopped) {
  const bool completed = obj.Main() && obj.Main()->ResultCode() == kResultCompleted;
  const int failure = completed ? 0 : FailureOf(obj);
  // Records that went back to the queue have left the list: the rest are done (or failed).
  for (const HeldRecord& held : obj.Records()) {
    if (counted) {
      if (completed) {
        CountVisited(held.record);
      } else {
        CountFailed(held.record, failure);
      }
    }
    work_.DoneWhenDurable(held);
  }
  Checkpoint();
  DLObjStatus status;
  status.index = obj.Index();
  status.completed = completed;
  status.stopped = stopped && !completed;
  status.failure = failure;
  const ObjStatusWords words = EncodeObjStatus(status, kMsgObjReleased);
  Status().Post(kMsgObjReleased, words.wparam, words.lparam);
  LinkRecord current = obj.Current();
  obj.Reset();
  // The object is no longer outstanding; the step its release posts is, until it arrives.
  PostStep(kMsgReleased, MakePayload(std::move(current)));
}

}  // namespace qlm
