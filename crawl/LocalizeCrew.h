#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "crawl/MirrorFiles.h"
#include "crawl/PageLocalizer.h"

namespace qlm {

class MirrorStore;

// Localises runs of stored pages on the calling thread and a few helper threads side by side.
// Pages are independent of one another except where two records name the same stored file (a
// page reached under two items' URLs that share local names, a cgi URL and the URL it was
// stored as): those are localised by one thread, in the order given, so the outcome is the one
// a single thread would give. Each helper writes through a staging file of its own, which it
// removes when the crew ends.
class LocalizeCrew {
 public:
  struct Page {
    std::string url;
    std::string folder_path;
    std::string stored_as;  // PageLocalizer::Localize's `stored_as`
    int localize_link = 0;
    int result = PageLocalizer::kNoLocalCopy;  // set by Localize
    PageLocalizer::Outcome outcome;             // likewise
    std::optional<StoredBytes> localized_as;    // PageLocalizer::Localize's
  };

  // Helper threads worth having on a machine with `cores` processors: one less than its cores,
  // three at most (the pages' reads and writes share one disk).
  static int HelpersFor(unsigned cores);

  LocalizeCrew(const MirrorStore& store, int helpers);
  ~LocalizeCrew();
  LocalizeCrew(const LocalizeCrew&) = delete;
  LocalizeCrew& operator=(const LocalizeCrew&) = delete;

  // Localises `pages` (PageLocalizer::Localize with `phase_start`), setting each one's result;
  // returns when all are done.
  void Localize(std::vector<Page>& pages, FileTime phase_start);

 private:
  void HelperMain(int n);
  // Localises groups of the current run until none is left.
  void TakeGroups(PageLocalizer& localizer);

  const MirrorStore& store_;
  PageLocalizer own_;  // the calling thread's
  std::vector<std::thread> helpers_;

  std::mutex mutex_;
  std::condition_variable start_;     // a run begins, or the crew ends
  std::condition_variable finished_;  // a helper is done with the run
  std::uint64_t run_ = 0;             // runs begun
  int working_ = 0;                   // helpers still in the current run
  bool quit_ = false;

  // The current run: its pages, grouped by stored file, and the next group to take.
  std::vector<Page>* pages_ = nullptr;
  FileTime phase_start_{};
  std::vector<std::vector<std::size_t>> groups_;
  std::atomic<std::size_t> next_group_{0};
  // Shared by the crew's localisers: one large page in memory at a time.
  std::mutex large_page_;
};

}  // namespace qlm
