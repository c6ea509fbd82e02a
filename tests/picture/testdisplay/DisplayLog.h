#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "picture/DibView.h"

namespace qlm::test {

// What the test display writes for each picture it received, one line each, fields separated by
// tabs: "picture", colour, effect, step delay, mark, file, folder, item, caption, width, height,
// bits per pixel, pixel hash, main window; or "unopened" and the reader's error when the block
// could not be opened.
struct DisplayLine {
  std::vector<std::string> fields;
  const std::string& operator[](size_t i) const {
    static const std::string none;
    return i < fields.size() ? fields[i] : none;
  }
};

// FNV-1a over every pixel as 0xFFRRGGBB, top row first: equal for two bitmaps that show the
// same picture, whatever their row padding.
inline std::uint64_t PixelHash(const DibView& bitmap) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::vector<std::uint32_t> row(static_cast<size_t>(bitmap.Width()));
  for (int y = 0; y < bitmap.Height(); ++y) {
    bitmap.ExpandRow(y, row.data());
    for (const std::uint32_t pixel : row) {
      for (int i = 0; i < 4; ++i) hash = (hash ^ ((pixel >> (8 * i)) & 0xFF)) * 0x100000001b3ull;
    }
  }
  return hash;
}

inline std::vector<DisplayLine> ParseDisplayLog(const std::string& text) {
  std::vector<DisplayLine> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    DisplayLine parsed;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      parsed.fields.push_back(line.substr(start, tab - start));
    }
    parsed.fields.push_back(line.substr(start));
    lines.push_back(std::move(parsed));
  }
  return lines;
}

}  // namespace qlm::test
