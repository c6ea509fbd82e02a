#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qlm {

class AppSettings;
class ItemDefaults;
class ProjectItem;

// The display values of a slide-show entry, as the item property page and the slide-show settings
// page edit them, and as the application settings hold their defaults.
struct SlideDisplay {
  int32_t draw_type = 0;       // MUDrawType: transition effect 0..11
  int32_t draw_speed = 0;      // MUDrawSpeed: transition step delay handed to the displays, 0..100
  int32_t bg_color = 0;        // BGColor: 0x00BBGGRR
  int32_t min_pic_width = 0;   // MinPicWidth: smallest width shown, pixels, 0..640
  int32_t min_pic_height = 0;  // MinPicHeight: smallest height shown, pixels, 0..480
  int32_t imgsw = 0;           // IMGSW: 1 = pictures named by IMG tags of mirrored pages count
  int32_t pic_chg_interval = 5;  // PicChgInterval: seconds each picture stays, 5..86400

  bool operator==(const SlideDisplay&) const = default;

  // Forces every value into the range its dialog enforces. The effect number and the IMG flag have
  // no dialog range, but a list line cannot hold a sign, so they and the colour are kept at 0 or
  // more as well (the colour to its 24 bits).
  void ForceRanges();
};

// The display values the application settings hold: the defaults of every slide-show entry.
SlideDisplay SettingsDisplay(const AppSettings& settings);

// One entry of the slide-show list: an item of a project (folder or URL record) whose mirrored
// pictures feed the picture show, with the display values they are shown with. File, Folder and URL
// together name the item, compared byte for byte; an item has at most one entry.
struct SlideEntry {
  // Bytes of File and Folder, and of URL and Title, that the list file is meant to hold. Longer
  // fields are written and read whole all the same: a shortened path would name another item.
  static constexpr std::size_t kMaxPathField = 1023;
  static constexpr std::size_t kMaxTextField = 255;

  int32_t depth_limit = 0;  // page levels the rotation follows inside the item's mirrored pages
  std::string file;         // full path of the project file
  std::string folder;       // folder path of the item (for a Record: of its parent folder)
  std::string url;          // the item's URL as entered for a Record; empty for a Folder
  std::string title;        // kept and shown; empty stands for none
  SlideDisplay display;

  bool operator==(const SlideEntry&) const = default;

  bool SameItem(std::string_view other_file, std::string_view other_folder,
                std::string_view other_url) const {
    return file == other_file && folder == other_folder && url == other_url;
  }
  // An entry that names a URL record (the rotation reads its mirrored pages); otherwise it names a
  // folder (the rotation walks its mirror folder).
  bool HasItemReference() const { return !url.empty(); }

  // The entry the item property page makes for `item` of the project file `project_file`: the
  // depth limit is the item's GraphMax after inheritance and the application default (an unset
  // default reads as 0), the display values are forced into their ranges.
  static SlideEntry FromItem(const ProjectItem& item, const std::string& project_file,
                             const ItemDefaults& defaults, const SlideDisplay& display);

  // The line of the list file: twelve fields joined by "|", ending in CR LF. Numbers are written
  // in decimal without a sign (negative values as 0), so that every line written reads back.
  std::string ListLine() const;
};

}  // namespace qlm
