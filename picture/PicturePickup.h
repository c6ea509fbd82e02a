#pragma once

#include <functional>
#include <string>

#include "crawl/PictureHook.h"
#include "picture/JpegLoader.h"
#include "project/LinkRecord.h"

namespace qlm {

class CQLMDoc;
class CSSDoc;
class PictureQueue;
class ProjectItem;
struct SlideEntry;

// Offers every JPEG that a running patrol stores to the picture show at once: when the stored
// picture's item (or a folder above it) is in the slide-show list, a display is running, and the
// picture is at least the entry's minimum size, it goes on top of the picture queue with the
// entry's display values and the mark "New Picture", and is the next picture shown.
//
// One object serves the patrols of one project document. PickUp runs on the network worker
// thread; it reads the project tree under the application lock, the slide-show list under its
// lock, the picture's header under the image reader's lock, and pushes under the queue's lock.
class PicturePickup final : public PictureHook {
 public:
  // `display_running` tells whether a screen saver or slide window exists or the desktop display
  // is on; it is asked on the network worker thread.
  PicturePickup(const CQLMDoc& doc, const CSSDoc& slides, PictureQueue& queue,
                std::function<bool()> display_running);

  // The crawl engine's hand-off: `record` is the link record that was fetched (its folder path
  // and item URL name the item), `stored_file` the picture's file in the mirror.
  void PickUp(const LinkRecord& record, const std::string& stored_file) override {
    Offer(record, stored_file);
  }
  // The same, telling whether the picture was queued.
  bool Offer(const LinkRecord& record, const std::string& stored_file);

 private:
  // The slide-show entry that governs `item`: its own, else the nearest folder's above it.
  // Caller holds the list's lock.
  const SlideEntry* GoverningEntry(const ProjectItem& item) const;

  const CQLMDoc& doc_;
  const CSSDoc& slides_;
  PictureQueue& queue_;
  std::function<bool()> display_running_;
  JpegLoader header_reader_;  // used on the network worker thread only
};

}  // namespace qlm
