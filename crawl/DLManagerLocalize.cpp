// The download manager's localization pass: after all fetching, the pages of the localize queue
// have their links rewritten to the local copies, a run of pages at a time.
#include <algorithm>
#include <mutex>
#include <thread>

#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "crawl/FileStamp.h"
#include "net/CRasMan.h"
#include "platform/ApplicationLock.h"
#include "platform/Messaging.h"
#include "project/CQLMDoc.h"

namespace qlm {

void DLManager::BeginLocalization() {
  if (line_ == Line::kAsked) {
    line_ = Line::kReleased;
    request_->dialer->Release(Handle());
  }
  DropSpares();
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
