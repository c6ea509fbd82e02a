#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "picture/ChannelMessages.h"

namespace qlm {

struct SlideDisplay;

// One pending or shown picture of the picture show: ten integers and four strings, stored in this
// order by the picture queue. A record is one of three kinds:
//   file record   `file` set: one JPEG file to show;
//   folder record `folder` set, `file` and `item` empty: a folder whose JPEG files and subfolders
//                 are still to be listed;
//   item record   `item` set, `file` empty: a URL whose copy in the mirror is still to be looked
//                 at (a picture, or a page whose links lead further); `folder` is then the item
//                 folder path that places it in the mirror.
// The ten integers travel unchanged from a record to the records it expands into, except for the
// depth and hops counts.
struct PictureRecord {
  // The format version of the picture queue file; its records have exactly this layout.
  static constexpr int32_t kVersion = 10050;
  // The mark of a picture that a running patrol has just stored.
  static constexpr std::string_view kNewPictureMark = qlm::kNewPictureMark;

  int32_t colour = 0;       // 0: background COLORREF (0x00BBGGRR)
  int32_t effect = 0;       // 1: transition effect 0..11
  int32_t delay = 0;        // 2: transition step delay, milliseconds
  int32_t depth_limit = 0;  // 3: page levels that may be followed inside mirrored pages
  int32_t depth = 0;        // 4: page levels followed so far
  int32_t hops = 0;         // 5: consecutive steps through embedded resources, at most 3
  int32_t min_width = 0;    // 6: smallest width shown, pixels (compared unsigned)
  int32_t min_height = 0;   // 7: smallest height shown, pixels (compared unsigned)
  int32_t img_flag = 0;     // 8: 1 when IMG SRC links of mirrored pages are followed
  int32_t interval = 0;     // 9: seconds the picture stays
  std::string mark;         // s1: kNewPictureMark for a picked-up picture, else empty
  std::string file;         // s2: a JPEG file
  std::string folder;       // s3: a folder to list, or an item record's item folder path
  std::string item;         // s4: a URL whose mirrored copy is looked at

  bool operator==(const PictureRecord&) const = default;

  bool IsFile() const { return !file.empty(); }
  bool IsItem() const { return file.empty() && !item.empty(); }
  bool IsFolder() const { return file.empty() && item.empty() && !folder.empty(); }

  // A record with a slide-show entry's (or the application's) display values and depth limit;
  // depth, hops and every string 0 or empty.
  static PictureRecord FromDisplay(const SlideDisplay& display, int32_t depth_limit);

  // A record with this record's ten integers and the given strings (the others empty).
  PictureRecord WithFile(std::string path) const;
  PictureRecord WithFolder(std::string path) const;
  PictureRecord WithItem(std::string folder_path, std::string url) const;

  // The stored form: a string total of L bytes gives L + 100 bytes.
  std::string Encode() const;
  // Reads a stored record. Every version of the queue file keeps the same layout, so `version`
  // does not change the reading. False for bytes that do not hold exactly one record.
  static bool Decode(std::string_view bytes, int32_t version, PictureRecord& record);
};

}  // namespace qlm
