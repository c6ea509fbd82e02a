// The download manager's localization pass: after all fetching, the pages of the localize queue
// have their links rewritten to the local copies, a run of pages at a time.
#include <algorithm>
#include <mutex>
#include <thread>

#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "crawl/FileStamp.h"
#include "platform/ApplicationLock.h"
#include "project/CQLMDoc.h"

namespace qlm {

void DLManager::SaveLinkCache(bool used_only) {
  if (!link_cache_) return;
  link_cache_->Save(used_only);
  link_cache_.reset();
}

void DLManager::BeginLocalization() {
  GiveLineBack();  // nothing more is fetched
  DropSpares();
  // What the downloads and the expansion of their pages kept for their room is not needed again:
  // the localization pass holds a site's largest page twice, and its peak is the patrol's.
  for (auto& obj : objects_) obj->DropKeptBody();
  std::vector<PageLink>().swap(page_links_);
  std::vector<LinkRecord>().swap(admitted_);
  std::string().swap(settled_urls_);
  std::vector<std::size_t>().swap(settled_ends_);
  work_.ResetWork();
  localize_start_ = FileStampNow();
}

void DLManager::LocalizeStep() {
  if (work_.Failed()) {
    SetState(State::kDraining);
    return;
  }
  SetState(State::kLocalizing);
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
      SetState(State::kEnded);
    }
    return;
  }
  if (!crew_) {
    crew_ = std::make_unique<LocalizeCrew>(
        store_, LocalizeCrew::HelpersFor(std::thread::hardware_concurrency()));
  }
  // A page stored under its own URL, localised before under the mirror's token and its
  // LocalizeLink, is left as it is when it still holds what that localisation left.
  const bool marking = link_cache_ && generation_ && generation_->Usable();
  if (marking) {
    for (LocalizeCrew::Page& page : pages) {
      if (!page.stored_as.empty()) continue;
      page.localized_as =
          link_cache_->LocalizedAs(StoredLinkCache::KeyOf(page.url, page.folder_path),
                                   generation_->Token(), page.localize_link);
    }
  }
  crew_->Localize(pages, localize_start_);
  // A rewritten page is the version of the server's file that its copy was.
  if (validators_) {
    for (const LocalizeCrew::Page& page : pages) {
      if (page.result == PageLocalizer::kLocalized && page.outcome.after) {
        validators_->Moved(page.outcome.file, page.outcome.before, *page.outcome.after);
      }
    }
  }
  if (link_cache_) {
    for (const LocalizeCrew::Page& page : pages) {
      if (page.result != PageLocalizer::kLocalized) continue;
      const NameHash key = StoredLinkCache::KeyOf(page.url, page.folder_path);
      link_cache_->Rewritten(key, page.outcome.read, page.outcome.written);
      if (marking && page.stored_as.empty()) {
        link_cache_->Localized(key, page.outcome.written, generation_->Token(),
                               page.localize_link);
        generation_->Marked();
      }
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
  PostStep(kMsgNextLocalize);
}

}  // namespace qlm
