#include "project/SlideEntry.h"

#include <algorithm>

#include "project/AppSettings.h"
#include "project/ItemDefaults.h"
#include "project/ProjectItem.h"

namespace qlm {

SlideDisplay SettingsDisplay(const AppSettings& settings) {
  SlideDisplay display;
  display.draw_type = settings.Number(AppNumber::MUDrawType);
  display.draw_speed = settings.Number(AppNumber::MUDrawSpeed);
  display.bg_color = settings.Number(AppNumber::BGColor);
  display.min_pic_width = settings.Number(AppNumber::MinPicWidth);
  display.min_pic_height = settings.Number(AppNumber::MinPicHeight);
  display.imgsw = settings.Number(AppNumber::IMGSW);
  display.pic_chg_interval = settings.Number(AppNumber::PicChgInterval);
  return display;
}

void SlideDisplay::ForceRanges() {
  draw_type = std::clamp(draw_type, 0, 11);
  draw_speed = std::clamp(draw_speed, 0, 100);
  bg_color = bg_color < 0 ? 0 : (bg_color & 0x00FFFFFF);
  min_pic_width = std::clamp(min_pic_width, 0, 640);
  min_pic_height = std::clamp(min_pic_height, 0, 480);
  imgsw = std::max(imgsw, 0);
  pic_chg_interval = std::clamp(pic_chg_interval, 5, 86400);
}

SlideEntry SlideEntry::FromItem(const ProjectItem& item, const std::string& project_file,
                                const ItemDefaults& defaults, const SlideDisplay& display) {
  SlideEntry entry;
  entry.depth_limit = std::max(defaults.Resolve(item, ItemOption::GraphMax), 0);
  entry.file = project_file;
  entry.folder = item.FolderPath();
  if (item.IsRecord() && item.URL()) entry.url = *item.URL();
  entry.display = display;
  entry.display.ForceRanges();
  return entry;
}

std::string SlideEntry::ListLine() const {
  std::string line = file + "|" + folder + "|" + url + "|" + title;
  const int32_t numbers[] = {depth_limit,      display.draw_type,       display.draw_speed,
                             display.bg_color, display.min_pic_width,   display.min_pic_height,
                             display.imgsw,    display.pic_chg_interval};
  for (const int32_t number : numbers) {
    line += '|';
    line += std::to_string(std::max(number, 0));
  }
  line += "\r\n";
  return line;
}

}  // namespace qlm
