#include "project/SlideListReader.h"

#include <sys/stat.h>

#include <algorithm>

namespace qlm {

namespace {

bool ProjectFileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

SlideListReader::SlideListReader(std::string_view bytes, ExistsFn exists)
    : bytes_(bytes), exists_(exists ? std::move(exists) : ExistsFn(&ProjectFileExists)) {}

std::vector<SlideEntry> SlideListReader::ReadAll() {
  std::vector<SlideEntry> entries;
  while (!AtEnd()) {
    SlideEntry entry;
    if (!ReadLine(entry)) break;
    if (exists_(entry.file)) entries.push_back(std::move(entry));
  }
  return entries;
}

bool SlideListReader::ReadLine(SlideEntry& entry) {
  for (std::string* text : {&entry.file, &entry.folder, &entry.url, &entry.title}) {
    *text = ReadText();
    SkipBlanks();
    if (!Expect('|')) return false;
    SkipBlanks();
  }
  int32_t* numbers[] = {&entry.depth_limit,           &entry.display.draw_type,
                        &entry.display.draw_speed,    &entry.display.bg_color,
                        &entry.display.min_pic_width, &entry.display.min_pic_height,
                        &entry.display.imgsw,         &entry.display.pic_chg_interval};
  for (std::size_t i = 0; i < std::size(numbers); ++i) {
    *numbers[i] = ReadNumber();
    SkipBlanks();
    if (i + 1 == std::size(numbers)) break;
    if (!Expect('|')) return false;
    SkipBlanks();
  }
  return Expect('\r') && Expect('\n');
}

std::string SlideListReader::ReadText() {
  const std::size_t start = pos_;
  while (!AtEnd()) {
    const char c = bytes_[pos_];
    if (c == '|' || c == '\r' || c == '\n' || c == '\t') break;
    ++pos_;
  }
  return std::string(bytes_.substr(start, pos_ - start));
}

int32_t SlideListReader::ReadNumber() {
  int64_t value = 0;
  while (Peek() >= '0' && Peek() <= '9') {
    value = std::min<int64_t>(value * 10 + (bytes_[pos_] - '0'), INT32_MAX);
    ++pos_;
  }
  return static_cast<int32_t>(value);
}

void SlideListReader::SkipBlanks() {
  while (Peek() == ' ' || Peek() == '\t') ++pos_;
}

bool SlideListReader::Expect(char c) {
  if (AtEnd() || bytes_[pos_] != c) return false;
  ++pos_;
  return true;
}

}  // namespace qlm
