#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include "picture/PictureRecord.h"

namespace qlm {

// Copies of the pictures shown last, newest last, at most kLimit of them, so that the picture
// panel can step back. Memory only.
//
// The picture thread appends and takes while the user-interface thread reads the count for the
// panel's buttons and empties it; every member takes the history's own lock.
class PictureHistory {
 public:
  static constexpr std::size_t kLimit = 20;

  // Appends a copy of a shown picture, dropping the oldest when kLimit are held already.
  void Append(const PictureRecord& record);
  // Removes and returns the newest entry; nothing when empty.
  std::optional<PictureRecord> TakeNewest();
  // For "previous": removes the newest entry (the picture on screen) and the one before it, in one
  // step; false, with nothing removed, when fewer than two are held.
  bool TakeNewestTwo(PictureRecord& on_screen, PictureRecord& before);
  std::size_t Count() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<PictureRecord> entries_;  // guarded by mutex_; oldest first, at most kLimit
};

}  // namespace qlm
