#pragma once

#include <cstdint>
#include <string>

namespace qlm::test {

// A JPEG made on the spot with libjpeg's compressor, with content that a test can predict pixel
// by pixel (within the loss of the compression).
struct TestJpeg {
  int width = 16;
  int height = 16;
  int components = 3;  // 1 grey, 3 colour, 4 CMYK
  int quality = 95;
  bool progressive = false;
  bool subsample = false;  // 2x2 chroma subsampling, as cameras write; off keeps colours exact
  int noise = 0;           // amplitude of a fixed pseudo-random texture added to every sample
};

// The colour the test picture has at (x, y) before compression: red rises from left to right,
// green from top to bottom, blue falls with both. A grey picture holds the mean of the three.
struct TestRgb {
  int red, green, blue;
};
TestRgb TestPixel(const TestJpeg& shape, int x, int y);
int TestGrey(const TestJpeg& shape, int x, int y);

// Compresses the test picture into a file; false when it cannot be written.
bool WriteTestJpeg(const std::string& path, const TestJpeg& shape);

}  // namespace qlm::test
