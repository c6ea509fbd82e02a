#include "tests/display/DisplayTestPictures.h"

namespace qlm::test {

TestDib MakeDib(int width, int height, const std::function<uint32_t(int x, int y)>& pixel) {
  TestDib dib;
  DibLayout layout;
  layout.width = width;
  layout.height = height;
  dib.memory.Allocate(layout.TotalSize());
  uint8_t* data = dib.memory.Data();
  layout.WriteHeader(data);
  const size_t stride = layout.RowStride();
  for (int y = 0; y < height; ++y) {
    uint8_t* row = data + layout.PixelOffset() + static_cast<size_t>(height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      const uint32_t rgb = pixel(x, y);
      row[3 * x] = rgb & 0xFF;
      row[3 * x + 1] = (rgb >> 8) & 0xFF;
      row[3 * x + 2] = (rgb >> 16) & 0xFF;
    }
    for (size_t pad = 3 * static_cast<size_t>(width); pad < stride; ++pad) row[pad] = 0xEE;
  }
  dib.view.Parse(data, dib.memory.Size());
  return dib;
}

TestDib MakeUniformDib(int width, int height, uint32_t rgb) {
  return MakeDib(width, height, [rgb](int, int) { return rgb; });
}

}  // namespace qlm::test
