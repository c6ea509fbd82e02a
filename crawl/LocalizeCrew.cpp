#include "crawl/LocalizeCrew.h"

#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "crawl/MirrorStore.h"

namespace qlm {

int LocalizeCrew::HelpersFor(unsigned cores) {
  return std::clamp(static_cast<int>(cores) - 1, 0, 3);
}

LocalizeCrew::LocalizeCrew(const MirrorStore& store, int helpers) : store_(store), own_(store) {
  own_.SetLargePageLock(&large_page_);
  for (int n = 1; n <= helpers; ++n) helpers_.emplace_back([this, n] { HelperMain(n); });
}

LocalizeCrew::~LocalizeCrew() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  start_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
  for (int n = 1; n <= static_cast<int>(helpers_.size()); ++n) {
    const std::string staging = store_.HelperStagingFile(n);
    if (!staging.empty()) ::unlink(staging.c_str());
  }
}

void LocalizeCrew::Localize(std::vector<Page>& pages, FileTime phase_start) {
  // Records that name the same stored file form one group, in their order.
  groups_.clear();
  std::unordered_map<std::string, std::size_t> group_of;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const Page& page = pages[i];
    const std::optional<std::string> name =
        store_.LocalPath(page.stored_as.empty() ? page.url : page.stored_as, page.folder_path);
    if (!name) {
      groups_.push_back({i});  // no local copy: nothing to write
      continue;
    }
    const auto [it, added] = group_of.try_emplace(*name, groups_.size());
    if (added) groups_.emplace_back();
    groups_[it->second].push_back(i);
  }
  pages_ = &pages;
  phase_start_ = phase_start;
  next_group_.store(0);
  if (!helpers_.empty() && groups_.size() > 1) {
    {
      std::lock_guard lock(mutex_);
      ++run_;
      working_ = static_cast<int>(helpers_.size());
    }
    start_.notify_all();
    TakeGroups(own_);
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return working_ == 0; });
  } else {
    TakeGroups(own_);
  }
  pages_ = nullptr;
}

void LocalizeCrew::TakeGroups(PageLocalizer& localizer) {
  for (std::size_t g = next_group_.fetch_add(1); g < groups_.size(); g = next_group_.fetch_add(1)) {
    for (const std::size_t i : groups_[g]) {
      Page& page = (*pages_)[i];
      page.result = localizer.Localize(page.url, page.folder_path, page.localize_link, phase_start_,
                                       page.stored_as, &page.outcome, page.localized_as);
    }
  }
}

void LocalizeCrew::HelperMain(int n) {
  PageLocalizer localizer(store_, store_.HelperStagingFile(n));
  localizer.SetLargePageLock(&large_page_);
  std::uint64_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    start_.wait(lock, [&] { return quit_ || run_ != seen; });
    if (quit_) return;
    seen = run_;
    lock.unlock();
    TakeGroups(localizer);
    lock.lock();
    if (--working_ == 0) finished_.notify_one();
  }
}

}  // namespace qlm
