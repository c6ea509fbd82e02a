#include "picture/PictureRecord.h"

#include "project/RecordReader.h"
#include "project/RecordWriter.h"
#include "project/SlideEntry.h"

namespace qlm {

PictureRecord PictureRecord::FromDisplay(const SlideDisplay& display, int32_t depth_limit) {
  PictureRecord record;
  record.colour = display.bg_color;
  record.effect = display.draw_type;
  record.delay = display.draw_speed;
  record.depth_limit = depth_limit;
  record.min_width = display.min_pic_width;
  record.min_height = display.min_pic_height;
  record.img_flag = display.imgsw;
  record.interval = display.pic_chg_interval;
  return record;
}

PictureRecord PictureRecord::WithFile(std::string path) const {
  PictureRecord record = *this;
  record.mark.clear();
  record.file = std::move(path);
  record.folder.clear();
  record.item.clear();
  return record;
}

PictureRecord PictureRecord::WithFolder(std::string path) const {
  PictureRecord record = WithFile({});
  record.folder = std::move(path);
  return record;
}

PictureRecord PictureRecord::WithItem(std::string folder_path, std::string url) const {
  PictureRecord record = WithFolder(std::move(folder_path));
  record.item = std::move(url);
  return record;
}

std::string PictureRecord::Encode() const {
  RecordWriter out;
  for (int32_t value : {colour, effect, delay, depth_limit, depth, hops, min_width, min_height,
                        img_flag, interval}) {
    out.AddInt(value);
  }
  for (const std::string* text : {&mark, &file, &folder, &item}) out.AddString(*text);
  return out.Take();
}

bool PictureRecord::Decode(std::string_view bytes, int32_t /*version*/, PictureRecord& record) {
  RecordReader in(bytes);
  PictureRecord decoded;
  for (int32_t* value : {&decoded.colour, &decoded.effect, &decoded.delay, &decoded.depth_limit,
                         &decoded.depth, &decoded.hops, &decoded.min_width, &decoded.min_height,
                         &decoded.img_flag, &decoded.interval}) {
    if (!in.ReadInt(*value)) return false;
  }
  for (std::string* text : {&decoded.mark, &decoded.file, &decoded.folder, &decoded.item}) {
    if (!in.ReadString(*text)) return false;
  }
  if (!in.AtEnd()) return false;
  record = std::move(decoded);
  return true;
}

}  // namespace qlm
