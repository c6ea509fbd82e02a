#include "picture/PictureChooser.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <tuple>
#include <vector>

#include "crawl/LocalPath.h"
#include "crawl/MirrorStore.h"
#include "crawl/PageLink.h"
#include "crawl/PageScanner.h"
#include "net/CUrl.h"
#include "picture/PictureHistory.h"
#include "picture/PictureQueue.h"
#include "platform/ApplicationLock.h"
#include "platform/FileSystem.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"
#include "project/SlideEntry.h"

namespace qlm {

namespace {

bool EndsWithNoCase(const std::string& name, std::string_view ending) {
  if (name.size() < ending.size()) return false;
  return std::equal(ending.begin(), ending.end(), name.end() - ending.size(), [](char e, char c) {
    return e == ((c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c);
  });
}

PictureRecord SettingsValues(const AppSettings& settings) {
  return PictureRecord::FromDisplay(SettingsDisplay(settings), settings.Number(AppNumber::LinkMax));
}

// A folder path without its final "/".
std::string WithoutLastSlash(std::string path) {
  if (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

bool PictureChooser::HasJpegName(const std::string& name) {
  return EndsWithNoCase(name, ".jpg") || EndsWithNoCase(name, ".jpeg");
}

bool PictureChooser::Refill(const AppSettings& settings, const CSSDoc& slides) {
  pages_seen_.clear();
  pictures_queued_.clear();
  bool ok = queue_.Clear();
  const int32_t pickup_display = settings.Number(AppNumber::PickupDisplay);
  if (pickup_display != 0) {
    ok = queue_.Push(
             SettingsValues(settings).WithFolder(WithoutLastSlash(settings.PickupFolder()))) &&
         ok;
  }
  if (pickup_display == 2) return ok;
  std::string mirror_root = settings.MirrorFolder();
  if (!mirror_root.empty() && mirror_root.back() != '/') mirror_root += '/';
  slides.ForEach([&](const SlideEntry& entry) {
    const PictureRecord values = PictureRecord::FromDisplay(entry.display, entry.depth_limit);
    if (entry.HasItemReference()) {
      ok = queue_.Push(values.WithItem(entry.folder, entry.url)) && ok;
    } else {
      // A folder's pictures lie in its mirror folder, below which the patrol stores its URLs.
      ok = queue_.Push(values.WithFolder(mirror_root + EscapeLocalName(entry.folder))) && ok;
    }
    return true;
  });
  return ok;
}

bool PictureChooser::Next(PictureRecord& record) {
  PictureRecord taken;
  if (!queue_.Pop(taken)) return false;
  for (;;) {
    if (Stopped()) {
      queue_.Push(taken);
      return false;
    }
    if (taken.IsFile() && IsRegularFile(taken.file)) {
      record = std::move(taken);
      return true;
    }
    if (taken.IsFolder()) {
      ExpandFolder(taken);
    } else if (taken.IsItem()) {
      ExpandItem(taken);
    }
    if (!queue_.Pop(taken)) return false;
  }
}

bool PictureChooser::Previous(PictureHistory& history, PictureRecord& record) {
  PictureRecord on_screen;
  if (!history.TakeNewestTwo(on_screen, record)) return false;
  queue_.Push(on_screen.WithFile(on_screen.file));
  return true;
}

bool PictureChooser::BigEnough(const std::string& path, const PictureRecord& limits) {
  int width = 0;
  int height = 0;
  ++headers_read_;
  if (!header_reader_.ReadHeader(path, &width, &height)) return false;
  return static_cast<uint32_t>(width) >= static_cast<uint32_t>(limits.min_width) &&
         static_cast<uint32_t>(height) >= static_cast<uint32_t>(limits.min_height);
}

void PictureChooser::ExpandFolder(const PictureRecord& record) {
  if (!IsFolder(record.folder)) return;
  struct Found {
    std::string path;
    bool folder;
  };
  std::vector<Found> found;
  {
    // The mirror's folders change under the patrol's hands; the listing is taken in one piece.
    std::lock_guard lock(ApplicationLock());
    DIR* dir = ::opendir(record.folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = record.folder + "/" + name;
      struct stat st {};
      // A linked folder is not followed: a link back up the tree would expand without end.
      if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        found.push_back({path, true});
      } else if (HasJpegName(name)) {
        found.push_back({path, false});
      }
    }
    ::closedir(dir);
  }
  // Listing order is the file system's whim; sorted, a folder is shown the same way every time.
  std::sort(found.begin(), found.end(),
            [](const Found& a, const Found& b) { return a.path < b.path; });
  for (const Found& entry : found) {
    if (Stopped()) return;
    if (entry.folder) {
      queue_.Push(record.WithFolder(entry.path));
    } else if (BigEnough(entry.path, record)) {
      queue_.Push(record.WithFile(entry.path));
    }
  }
}

void PictureChooser::PushPicture(const PictureRecord& record, const std::string& file) {
  if (pictures_queued_.contains(file) || !BigEnough(file, record)) return;
  pictures_queued_.insert(file);
  queue_.Push(record.WithFile(file));
}

void PictureChooser::ExpandItem(const PictureRecord& record) {
  CUrl url;
  if (!url.Parse(record.item)) return;
  const MirrorStore store(mirror_root_, ApplicationLock(), false);
  const LocalCopy copy = store.FindLocalCopy(record.item, record.folder);
  if (!copy.Exists()) return;
  switch (url.FileType()) {
    case kFileTypeJpeg:
      PushPicture(record, copy.file);
      return;
    case kFileTypeCgi:
      if (copy.suffix == kCgiHtmlVariant) {
        PushPageLinks(record, record.item, copy.file);
      } else if (copy.suffix == kCgiVariants[1]) {
        PushPicture(record, copy.file);
      }
      return;
    default:
      PushPageLinks(record, record.item, copy.file);
      return;
  }
}

bool PictureChooser::FirstReadThisWay(const PictureRecord& record) {
  auto& reads = pages_seen_[{record.folder, record.item}];
  for (const auto& [depth, hops] : reads) {
    if (depth <= record.depth && hops <= record.hops) return false;
  }
  std::erase_if(reads, [&](const std::pair<int32_t, int32_t>& read) {
    return record.depth <= read.first && record.hops <= read.second;
  });
  reads.emplace_back(record.depth, record.hops);
  return true;
}

void PictureChooser::PushPageLinks(const PictureRecord& record, const std::string& page_url,
                                   const std::string& page_file) {
  struct stat st {};
  if (::stat(page_file.c_str(), &st) != 0 || static_cast<uint64_t>(st.st_size) > kMaxPageBytes) {
    return;
  }
  if (!FirstReadThisWay(record)) return;
  std::vector<PageLink> links;
  std::string title;
  PageScanner scanner;
  ++pages_read_;
  if (!scanner.Scan(page_url, page_file, links, title)) return;
  // A page names the same target more than once (a thumbnail inside its own link); one record
  // per target and step is enough.
  std::set<std::tuple<std::string, int32_t, int32_t>> pushed;
  for (const PageLink& link : links) {
    int32_t depth = record.depth;
    int32_t hops = record.hops;
    switch (link.kind) {
      case kLinkAnchor:
      case kLinkArea:
        ++depth;
        hops = 0;
        break;
      case kLinkBackground:
      case kLinkFrame:
        ++hops;
        break;
      case kLinkImage:
        // Counted as an embedded step, so a page that names itself in an IMG cannot loop.
        if (record.img_flag != 1) continue;
        ++hops;
        break;
      default:
        continue;
    }
    if (depth > record.depth_limit || hops > kMaxHops) continue;
    if (!pushed.emplace(link.url, depth, hops).second) continue;
    PictureRecord next = record.WithItem(record.folder, link.url);
    next.depth = depth;
    next.hops = hops;
    queue_.Push(next);
  }
}

}  // namespace qlm
