#include "project/CSSDoc.h"

#include <algorithm>
#include <optional>

#include "net/CUrl.h"
#include "project/ListFile.h"
#include "project/SlideListReader.h"

namespace qlm {

namespace {

std::optional<std::string> Normalised(std::string_view url) {
  CUrl parsed;
  if (!parsed.Parse(url)) return std::nullopt;
  return parsed.Text();
}

// A patrol names an item by its normalised URL while an entry keeps the URL as the user typed it.
bool SameUrl(std::string_view entry_url, std::string_view url) {
  if (entry_url == url) return true;
  if (entry_url.empty() || url.empty()) return false;
  const std::optional<std::string> a = Normalised(entry_url);
  return a && a == Normalised(url);
}

}  // namespace

std::string CSSDoc::ListPath(const std::string& install_folder) {
  std::string path = install_folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + std::string(kListFileName);
}

NamedMutex CSSDoc::FileLock(const std::string& install_folder) {
  return NamedMutex("Quillmere Slide-Show List " + ListPath(install_folder));
}

bool CSSDoc::Load(const std::string& install_folder) {
  std::string bytes;
  const bool ok = ReadOrCreateListFile(ListPath(install_folder), bytes) || !bytes.empty();
  std::lock_guard lock(mutex_);
  modified_ = false;
  entries_.clear();
  for (SlideEntry& entry : SlideListReader(bytes).ReadAll()) {
    entries_.push_back(std::make_unique<SlideEntry>(std::move(entry)));
  }
  return ok;
}

bool CSSDoc::Save(const std::string& install_folder) const {
  std::string bytes;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : entries_) bytes += entry->ListLine();
  }
  if (!ReplaceListFile(ListPath(install_folder), bytes)) return false;
  std::lock_guard lock(mutex_);
  modified_ = false;
  return true;
}

bool CSSDoc::Modified() const {
  std::lock_guard lock(mutex_);
  return modified_;
}

SlideEntry* CSSDoc::Find(std::string_view file, std::string_view folder,
                         std::string_view url) const {
  for (const auto& entry : entries_) {
    if (entry->SameItem(file, folder, url)) return entry.get();
  }
  return nullptr;
}

SlideEntry& CSSDoc::Append(SlideEntry entry) {
  entries_.push_back(std::make_unique<SlideEntry>(std::move(entry)));
  modified_ = true;
  return *entries_.back();
}

bool CSSDoc::Remove(const SlideEntry* entry) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [entry](const auto& held) { return held.get() == entry; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  modified_ = true;
  return true;
}

bool CSSDoc::SetItemEntry(SlideEntry entry, bool show, const std::string& install_folder) {
  entry.display.ForceRanges();
  {
    std::lock_guard lock(mutex_);
    Remove(Find(entry.file, entry.folder, entry.url));
    if (!show) return true;
    Append(std::move(entry));
  }
  return Save(install_folder);
}

bool CSSDoc::ChangeDisplay(const SlideEntry* entry, SlideDisplay display) {
  display.ForceRanges();
  std::lock_guard lock(mutex_);
  for (const auto& held : entries_) {
    if (held.get() != entry) continue;
    held->display = display;
    modified_ = true;
    return true;
  }
  return false;
}

std::size_t CSSDoc::RetitleItem(std::string_view file, std::string_view folder,
                                std::string_view url, const std::string& title) {
  std::lock_guard lock(mutex_);
  std::size_t changed = 0;
  for (const auto& entry : entries_) {
    if (entry->file != file || entry->folder != folder || !SameUrl(entry->url, url)) continue;
    entry->title = title;
    modified_ = true;
    ++changed;
  }
  return changed;
}

void CSSDoc::ForEach(const std::function<bool(const SlideEntry&)>& visit) const {
  std::lock_guard lock(mutex_);
  for (const auto& entry : entries_) {
    if (!visit(*entry)) break;
  }
}

}  // namespace qlm
