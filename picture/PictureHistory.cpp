#include "picture/PictureHistory.h"

namespace qlm {

void PictureHistory::Append(const PictureRecord& record) {
  std::lock_guard lock(mutex_);
  while (entries_.size() >= kLimit) entries_.pop_front();
  entries_.push_back(record);
}

std::optional<PictureRecord> PictureHistory::TakeNewest() {
  std::lock_guard lock(mutex_);
  if (entries_.empty()) return std::nullopt;
  PictureRecord record = std::move(entries_.back());
  entries_.pop_back();
  return record;
}

bool PictureHistory::TakeNewestTwo(PictureRecord& on_screen, PictureRecord& before) {
  std::lock_guard lock(mutex_);
  if (entries_.size() < 2) return false;
  on_screen = std::move(entries_.back());
  entries_.pop_back();
  before = std::move(entries_.back());
  entries_.pop_back();
  return true;
}

std::size_t PictureHistory::Count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void PictureHistory::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

}  // namespace qlm
