#pragma once

#include <QColor>
#include <QImage>
#include <cstdint>
#include <functional>

#include "picture/DibView.h"
#include "picture/PackedBitmap.h"

namespace qlm::test {

// A 24-bit packed bitmap (rows bottom-up, padded to 4 bytes) whose pixel (x, y) from the top is
// `pixel(x, y)` as 0xRRGGBB, and a view of it.
struct TestDib {
  PackedBitmap memory;
  DibView view;
};
TestDib MakeDib(int width, int height, const std::function<uint32_t(int x, int y)>& pixel);
TestDib MakeUniformDib(int width, int height, uint32_t rgb);

// The pixel of a 32-bit image as 0xRRGGBB.
inline uint32_t Rgb(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFFu;
}

}  // namespace qlm::test
