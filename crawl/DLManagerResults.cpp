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
#include "crawl/RobotsCopy.h"
#include "crawl/StoredVariant.h"
#include "crawl/Validators.h"
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

bool IsCertificateFailure(int failure) {
  return failure != kTlsOk && failure != kTlsHandshakeFailed && failure != kTlsTunnelRefused;
}

// Why the object's records failed, when a user can act on it: the page's own request, or the
// robots.txt request that came first and never reached the site.
int FailureOf(DLObj& obj) {
  if (obj.Main() && obj.Main()->TlsFailure() != 0) return obj.Main()->TlsFailure();
  return obj.Robots() ? obj.Robots()->TlsFailure() : 0;
}

bool IsRetryStatus(int status) {
  return status == 200 || status == 408 || status == 0;
}

}  // namespace

std::vector<const LinkRecord*> DLManager::Referrers(const DLObj& obj) {
  std::vector<const LinkRecord*> referrers;
  for (const HeldRecord& held : obj.Records()) referrers.push_back(&held.record);
  return referrers;
}

// ---- The robots.txt fetched first ----

DLObj* DLManager::ResultOf(int index) {
  if (index < 0 || index >= kObjectCount || objects_[index]->IsFree()) return nullptr;
  DLObj& obj = *objects_[index];
  if (!stop_ && obj.BodyError() == 0) return &obj;
  if (stop_) {
    // A stopped download is not a failed one: its records go back as they were.
    RequeueAll(obj);
    Release(obj, true, true);
  } else {
    BodyNotWritten(obj);
  }
  return nullptr;
}

void DLManager::BodyNotWritten(DLObj& obj) {
  // The part that was written goes; the local copy of an earlier patrol is left as it was.
  obj.RemoveTempFile();
  if (obj.BodyRefused()) {
    Release(obj, true);
    return;
  }
  // The mirror cannot take what the patrol fetches: another download would fare no better.
  const int error = obj.BodyError();
  RequeueAll(obj);
  Release(obj, false, true);
  PostMessage(Notify(), kMsgMirrorWriteFailed, static_cast<WParam>(error), 0);
  OnStop();
}

void DLManager::OnRobotsDone(int index) {
  DLObj* done = ResultOf(index);
  if (!done) return;
  DLObj& obj = *done;
  CHttpRequest& robots = *obj.Robots();
  const LinkRecord& current = obj.Current();
  const std::string& robots_url = obj.RobotsTxtUrl();
  const int result = robots.ResultCode();
  const int status = robots.StatusCode();
  std::optional<std::string> location;
  if (IsRedirectStatus(status)) {
    CUrl base;
    base.Parse(robots_url);
    location = ResolveLocation(robots.Location(), base);
  }

  if (robots.TlsFailure() != 0) {
    // No secure connection to the site: its pages fail for the same reason, and nothing of it
    // is stored (not even the permissive robots.txt of a site that has none).
    Release(obj, true);
  } else if (result == kResultCompleted && status == 200) {
    store_.StoreRobotsTxt(robots_url, current.folder_path, obj.TempFile());
    if (IsAllowedByRobots(store_, robots_url, current.url, current.folder_path)) {
      BeginPage(obj);
    } else {
      Release(obj, true);
    }
  } else if (result == kResultCompleted && location) {
    // The records learn where their site's robots.txt went and come back to it later.
    store_.WriteRedirectPage(robots_url, current.folder_path, *location, true);
    for (HeldRecord& held : obj.Records()) held.record.robots_url = *location;
    RequeueAll(obj);
    Release(obj, false);
  } else if (result != kResultCompleted || IsRedirectStatus(status)) {
    // No robots.txt to be had (also a redirect to nowhere): the site allows everything.
    store_.WritePermissiveRobotsTxt(robots_url, current.folder_path);
    BeginPage(obj);
  } else {
    Release(obj, true);
  }
}

void DLManager::BeginPage(DLObj& obj) {
  SetRefererLine(*obj.Main(), obj.Current());
  obj.Begin(false, false);
}

// ---- The page itself ----

void DLManager::OnDownloadDone(int index) {
  DLObj* done = ResultOf(index);
  if (!done) return;
  DLObj& obj = *done;
  CHttpRequest& main = *obj.Main();
  std::lock_guard lock(ApplicationLock());
  if (main.ResultCode() != kResultCompleted) {
    RetryOrAuthenticate(obj);
  } else if (main.StatusCode() == 304) {
    NotModified(obj);
  } else if (IsRedirectStatus(main.StatusCode())) {
    Redirected(obj);
  } else if (main.StatusCode() == 200) {
    Content(obj);
  }
  Release(obj, true);
}

void DLManager::RetryOrAuthenticate(DLObj& obj) {
  CHttpRequest& main = *obj.Main();
  const int status = main.StatusCode();
  // A certificate that does not verify will not verify on the next try either.
  if (IsCertificateFailure(main.TlsFailure())) return;
  const ItemDefaults& defaults = doc_.Defaults();
  std::vector<HeldRecord>& records = obj.Records();
  // From the back, each to the front: the records keep their order at the queue's front.
  for (std::size_t i = records.size(); i-- > 0;) {
    LinkRecord& record = records[i].record;
    const ProjectItem* item = FindItem(record);
    if (!item) continue;
    if (IsRetryStatus(status)) {
      if (record.retry >= defaults.Resolve(*item, ItemOption::DLoadRetry)) continue;
      events_.Retried();
      ++record.retry;
      Requeue(obj, i);
    } else if (status == 401 && main.ChallengeScheme() != kAuthDigest) {
      // Bits 0-1 go 0 -> 3 -> 1: one more try without, then one with the credentials.
      if (defaults.Resolve(*item, ItemOption::UseHttpPassword) <= 0 || (record.flags & 3) == 1) {
        continue;
      }
      record.flags = (record.flags ^ 2) | 1;
      Requeue(obj, i);
    }
  }
}

void DLManager::NotModified(DLObj& obj) {
  const LinkRecord& current = obj.Current();
  // The copy is as new as the server's: it now counts as written in this patrol, so the URL
  // reached again re-uses it instead of asking the server once more.
  const LocalCopy copy = store_.FindLocalCopy(current.url, current.folder_path);
  if (copy.Exists()) store_.Touch(copy.file);
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
  // The validators go with the body into the mirror, in one move.
  if (store) KeepValidators(temp, ValidatorsOfReply(obj.Main()->HeaderText()));
  std::string body = temp;
  bool temp_left = true;
  const bool stored =
      store && store_.StoreFile(temp, storage, current.folder_path, suffix, &body, &temp_left,
                                kept.LastWrite()) == MirrorStore::kStoreOk;

  if (page) ExpandFetchedPage(obj, page_bytes, content == StoredContent::kStyleSheet);
  if (stored && request_->pictures && (type == kFileTypeJpeg || suffix == kCgiVariants[1])) {
    request_->pictures->PickUp(current, body);
  }
  // Last, as `temp` is the object's own name of the file.
  if (!temp_left) obj.TempFileGone();
}

void DLManager::ExpandFetchedPage(DLObj& obj, std::string_view page, bool style_sheet) {
  const LinkRecord& current = obj.Current();
  PageScanner scanner;
  DistinctLinks distinct;
  scanner.SetDistinct(&distinct);
  std::vector<PageLink>& links = page_links_;
  links.clear();
  std::string title;
  if (style_sheet) {
    scanner.ScanStyleSheet(current.url, page, links);
  } else {
    scanner.ScanBytes(current.url, page, links, title);
  }
  if (!title.empty()) TakeTitle(obj, title);
  // Kept for the next patrol: the localization pass moves the entry over to the bytes it writes.
  if (link_cache_ && current.storage_name.empty()) {
    link_cache_->Put(StoredLinkCache::KeyOf(current.url, current.folder_path),
                     StoredBytes::Of(page), links);
  }
  std::vector<const LinkRecord*> expanding;
  for (const HeldRecord& held : obj.Records()) {
    if (expanded_.Expand(held.record)) expanding.push_back(&held.record);
  }
  if (expanding.empty()) return;  // expanded before in this patrol, no deeper
  QueueForLocalizing(current, true);
  AdmitToWork(expanding, links);
}

void DLManager::TakeTitle(DLObj& obj, const std::string& title) {
  std::lock_guard lock(ApplicationLock());
  for (const HeldRecord& held : obj.Records()) {
    const LinkRecord& record = held.record;
    if (record.item_url != record.url) continue;
    // The document is not const; FindItem only hands its items out as such.
    auto* item = const_cast<ProjectItem*>(FindItem(record));
    if (!item || item->Title() == title) continue;
    item->SetTitle(title);
    doc_.SetModified(true);
    if (request_->title_changed)
      request_->title_changed(record.folder_path, record.item_url, title);
  }
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
  ++free_;
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
  PostMessage(Handle(), kMsgReleased, 0, 0, MakePayload(std::move(current)));
}

}  // namespace qlm
