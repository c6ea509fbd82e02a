#include "tests/picture/JpegTestImage.h"

#include <jpeglib.h>

#include <cstdio>
#include <vector>

namespace qlm::test {

namespace {

int Ramp(int at, int size) {
  return size > 1 ? at * 255 / (size - 1) : 128;
}

int Clamp(int v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

}  // namespace

TestRgb TestPixel(const TestJpeg& shape, int x, int y) {
  const int red = Ramp(x, shape.width);
  const int green = Ramp(y, shape.height);
  return {red, green, 255 - (red + green) / 2};
}

int TestGrey(const TestJpeg& shape, int x, int y) {
  const TestRgb c = TestPixel(shape, x, y);
  return (c.red + c.green + c.blue) / 3;
}

bool WriteTestJpeg(const std::string& path, const TestJpeg& shape) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, file);
  c.image_width = static_cast<JDIMENSION>(shape.width);
  c.image_height = static_cast<JDIMENSION>(shape.height);
  c.input_components = shape.components;
  c.in_color_space =
      shape.components == 1 ? JCS_GRAYSCALE : (shape.components == 4 ? JCS_CMYK : JCS_RGB);
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, shape.quality, TRUE);
  if (shape.progressive) jpeg_simple_progression(&c);
  if (shape.components == 3 && !shape.subsample) {
    for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(&c, TRUE);

  std::vector<JSAMPLE> row(static_cast<size_t>(shape.width) * shape.components);
  uint32_t seed = 12345;
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < shape.width; ++x) {
      int noise = 0;
      if (shape.noise > 0) {
        seed = seed * 1664525u + 1013904223u;
        noise = static_cast<int>(seed >> 24) % (2 * shape.noise + 1) - shape.noise;
      }
      const TestRgb rgb = TestPixel(shape, x, y);
      const int samples[4] = {rgb.red, rgb.green, rgb.blue, 255 - rgb.red};
      JSAMPLE* out = &row[static_cast<size_t>(x) * shape.components];
      if (shape.components == 1) {
        out[0] = static_cast<JSAMPLE>(Clamp(TestGrey(shape, x, y) + noise));
      } else {
        for (int k = 0; k < shape.components; ++k)
          out[k] = static_cast<JSAMPLE>(Clamp(samples[k] + noise));
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(file) == 0;
}

}  // namespace qlm::test
