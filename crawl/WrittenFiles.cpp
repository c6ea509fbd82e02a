#include "crawl/WrittenFiles.h"

namespace qlm {

namespace {

bool IsFree(const NameHash& name) {
  return name.first == 0 && name.second == 0;
}

}  // namespace

NameHash WrittenFiles::Key(std::string_view path) {
  NameHash key = NameHash::Of(path);
  if (IsFree(key)) key.second = 1;
  return key;
}

std::size_t WrittenFiles::Probe(const NameHash& key) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = Home(key);
  while (!IsFree(slots_[i].name) && !(slots_[i].name == key)) i = (i + 1) & mask;
  return i;
}

NameHash WrittenFiles::FolderKey(std::string_view folder) {
  NameHash key = NameHash::Of(folder);
  key.second ^= 0x9e3779b97f4a7c15u;  // a file of the same name, were there one, keys apart
  if (IsFree(key)) key.second = 1;
  return key;
}

bool WrittenFiles::Holds(const NameHash& key) const {
  return !slots_.empty() && !IsFree(slots_[Probe(key)].name);
}

std::optional<FileTime> WrittenFiles::Find(std::string_view path) const {
  if (slots_.empty()) return std::nullopt;
  const Slot& slot = slots_[Probe(Key(path))];
  if (IsFree(slot.name)) return std::nullopt;
  return FileTime(
      std::chrono::duration_cast<FileTime::duration>(std::chrono::nanoseconds(slot.written)));
}

bool WrittenFiles::Insert(const NameHash& key, std::int64_t written) {
  std::size_t i = slots_.empty() ? 0 : Probe(key);
  if (slots_.empty() || IsFree(slots_[i].name)) {
    if ((size_ + 1) * 4 > slots_.size() * 3) {
      if (slots_.size() >= kMaxSlots) return false;
      Grow();
      i = Probe(key);
    }
    slots_[i].name = key;
    ++size_;
  }
  slots_[i].written = written;
  return true;
}

void WrittenFiles::Wrote(std::string_view path, FileTime written) {
  if (path.find("//") != std::string_view::npos) made_folders_tell_ = false;
  const std::int64_t ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(written.time_since_epoch()).count();
  if (Insert(Key(path), ns)) return;
  // Not remembered: its folder no longer tells which files it holds.
  const std::size_t slash = path.rfind('/');
  if (slash != std::string_view::npos) Erase(FolderKey(path.substr(0, slash)));
}

void WrittenFiles::Forget(std::string_view path) {
  Erase(Key(path));
}

void WrittenFiles::MadeFolder(std::string_view folder) {
  if (folder.find("//") == std::string_view::npos) Insert(FolderKey(folder), 0);
}

bool WrittenFiles::InMadeFolder(std::string_view path) const {
  const std::size_t slash = path.rfind('/');
  return made_folders_tell_ && slash != std::string_view::npos &&
         Holds(FolderKey(path.substr(0, slash)));
}

void WrittenFiles::Erase(const NameHash& key) {
  if (slots_.empty()) return;
  std::size_t hole = Probe(key);
  if (IsFree(slots_[hole].name)) return;
  // Backward-shift deletion: every entry after the hole in its run that may live in the hole (its
  // home is not cyclically between the hole and itself) moves into it, so no probe ever stops
  // short of an entry.
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = (hole + 1) & mask; !IsFree(slots_[i].name); i = (i + 1) & mask) {
    const std::size_t home = Home(slots_[i].name);
    const bool stays = hole <= i ? (hole < home && home <= i) : (hole < home || home <= i);
    if (stays) continue;
    slots_[hole] = slots_[i];
    hole = i;
  }
  slots_[hole] = Slot{};
  --size_;
}

void WrittenFiles::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
  for (const Slot& slot : old) {
    if (!IsFree(slot.name)) slots_[Probe(slot.name)] = slot;
  }
}

}  // namespace qlm
