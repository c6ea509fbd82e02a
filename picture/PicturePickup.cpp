#include "picture/PicturePickup.h"

#include <mutex>
#include <optional>

#include "picture/PictureQueue.h"
#include "picture/PictureRecord.h"
#include "platform/ApplicationLock.h"
#include "project/CQLMDoc.h"
#include "project/CSSDoc.h"
#include "project/ProjectItem.h"

namespace qlm {

PicturePickup::PicturePickup(const CQLMDoc& doc, const CSSDoc& slides, PictureQueue& queue,
                             std::function<bool()> display_running)
    : doc_(doc), slides_(slides), queue_(queue), display_running_(std::move(display_running)) {}

const SlideEntry* PicturePickup::GoverningEntry(const ProjectItem& item) const {
  const std::string& file = doc_.PathName();
  for (const ProjectItem* at = &item; at; at = at->Parent()) {
    const std::string url = at->IsRecord() && at->URL() ? *at->URL() : std::string();
    if (const SlideEntry* entry = slides_.Find(file, at->FolderPath(), url)) return entry;
  }
  return nullptr;
}

bool PicturePickup::Offer(const LinkRecord& record, const std::string& stored_file) {
  PictureRecord values;
  {
    std::lock_guard tree_lock(ApplicationLock());
    const ProjectItem* item = doc_.FindItem(record.folder_path, record.item_url);
    if (!item) return false;
    std::lock_guard list_lock(slides_.Mutex());
    const SlideEntry* entry = GoverningEntry(*item);
    if (!entry) return false;
    values = PictureRecord::FromDisplay(entry->display, 0);
  }
  if (!display_running_ || !display_running_()) return false;
  int width = 0;
  int height = 0;
  if (!header_reader_.ReadHeader(stored_file, &width, &height)) return false;
  if (static_cast<uint32_t>(width) < static_cast<uint32_t>(values.min_width) ||
      static_cast<uint32_t>(height) < static_cast<uint32_t>(values.min_height)) {
    return false;
  }
  return queue_.AddNewPicture(values, stored_file);
}

}  // namespace qlm
