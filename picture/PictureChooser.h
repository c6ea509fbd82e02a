#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "picture/JpegLoader.h"
#include "picture/PictureRecord.h"

namespace qlm {

class AppSettings;
class CSSDoc;
class PictureHistory;
class PictureQueue;

// Chooses the pictures of the show from the picture queue: refills it from the pick-up folder and
// the slide-show list, and takes records off it until one names a JPEG file that exists, listing
// folders and reading mirrored pages on the way.
//
// Threads: Refill runs on the user-interface thread (the timer tick), Next and Previous on the
// picture thread; the rotation never runs them at the same time (a picture thread is started only
// by a tick, after the previous one has ended). The queue, the slide-show list and the image
// reader keep their own locks.
//
// Within one round (from one refill to the next) a mirrored page is read again only when it is
// reached with fewer page levels or embedded steps used than before, and a mirrored picture found
// through pages is queued once. Pages of a site link to each other; without this, every path
// through the links would be walked and the same pictures shown over and over.
class PictureChooser {
 public:
  // Embedded-resource steps (BODY BACKGROUND, FRAME, IMG) allowed in a row.
  static constexpr int32_t kMaxHops = 3;
  // A mirrored file larger than this is not read for links: a video or an archive in the mirror
  // would otherwise be read into memory whole on every round.
  static constexpr std::size_t kMaxPageBytes = std::size_t{32} << 20;

  explicit PictureChooser(PictureQueue& queue) : queue_(queue) {}

  // The mirror folder that item records are looked up in. Set on the user-interface thread before
  // a picture thread starts.
  void SetMirrorRoot(std::string mirror_root) { mirror_root_ = std::move(mirror_root); }
  // Next stops early (putting the record it holds back on the queue) once this is set.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

  // Empties the queue and fills it anew: with PickupDisplay other than 0 the pick-up folder with
  // the application's display values (depth limit LinkMax); unless PickupDisplay is 2, every
  // entry of the slide-show list in order (item entries as item records, folder entries as their
  // mirror folders). The last entry is thus taken first, the pick-up folder last. Also starts a
  // new round. False when the queue file failed.
  bool Refill(const AppSettings& settings, const CSSDoc& slides);

  // Takes records off the queue until one is a file record whose file exists, and returns it;
  // folder and item records are expanded into the queue meanwhile. False when the queue runs dry.
  bool Next(PictureRecord& record);

  // "Prev": puts the picture on screen (the newest history entry) back on the queue as a file
  // record, so that it comes again after this one, and returns the one shown before it (taken
  // out of the history; it goes back in when shown). False when the history holds fewer than two.
  bool Previous(PictureHistory& history, PictureRecord& record);

  // Counters for tests and the curious.
  std::size_t PagesRead() const { return pages_read_; }
  std::size_t HeadersRead() const { return headers_read_; }

  // Whether a folder entry's name is one the show takes from folders: ".jpg" or ".jpeg" at its
  // end, in any letter case.
  static bool HasJpegName(const std::string& name);

 private:
  bool Stopped() const { return stop_ && stop_->load(std::memory_order_relaxed); }
  // Whether a JPEG's header can be read and its size reaches the record's minimum.
  bool BigEnough(const std::string& path, const PictureRecord& limits);
  void ExpandFolder(const PictureRecord& record);
  void ExpandItem(const PictureRecord& record);
  void PushPicture(const PictureRecord& record, const std::string& file);
  // Whether the page of an item record is to be read: it was not read this round with a depth
  // and a hops count both no greater. Notes the read.
  bool FirstReadThisWay(const PictureRecord& record);
  void PushPageLinks(const PictureRecord& record, const std::string& page_url,
                     const std::string& page_file);

  PictureQueue& queue_;
  std::string mirror_root_;
  const std::atomic<bool>* stop_ = nullptr;
  JpegLoader header_reader_;
  // This round's pages read: (item folder path, URL) -> the (depth, hops) pairs it was read with,
  // none of which is at least as good as another in both.
  std::map<std::pair<std::string, std::string>, std::vector<std::pair<int32_t, int32_t>>>
      pages_seen_;
  // This round's mirrored pictures queued through pages.
  std::set<std::string> pictures_queued_;
  std::size_t pages_read_ = 0;
  std::size_t headers_read_ = 0;
};

}  // namespace qlm
