// The job's image and the PNG writer.
#include "demo_image.h"

#include <png.h>

#include <cmath>
#include <random>

namespace demo {

namespace {

struct Shape {
  double x, y, r;
  int kind;  // 0 ring, 1 disc, 2 bar across
};

bool Inside(const Shape& s, double x, double y) {
  const double d = std::hypot(x - s.x, y - s.y);
  switch (s.kind) {
    case 0:
      return std::fabs(d - s.r) < 1.6;
    case 1:
      return d < s.r;
    default:
      return std::fabs(y - s.y) < 1.5 && std::fabs(x - s.x) < 2 * s.r;
  }
}

}  // namespace

Picture MakeJobImage(uint32_t rows, uint32_t seed) {
  Picture image(kImageWidth, rows, 1);
  // mt19937's sequence is fixed by the standard; the distributions are
  // not, so the shapes come from its raw output.
  std::mt19937 rng(seed);
  std::vector<Shape> shapes(3 + rows / 20);
  for (Shape& s : shapes) {
    s.x = static_cast<double>(rng() % kImageWidth);
    s.y = static_cast<double>(rng() % rows);
    s.r = static_cast<double>(4 + rng() % 11);
    s.kind = static_cast<int>(rng() % 3);
  }
  for (uint32_t y = 0; y < rows; ++y)
    for (uint32_t x = 0; x < kImageWidth; ++x) {
      bool on = x < 2 || x + 2 >= kImageWidth || y < 2 || y + 2 >= rows;
      for (const Shape& s : shapes) on ^= Inside(s, x + 0.5, y + 0.5);  // overlaps cut out
      image.Row(y)[x] = on ? kEngraved : kBlank;
    }
  return image;
}

bool WritePng(const std::string& path, const Picture& picture) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = picture.width;
  png.height = picture.height;
  png.format = picture.channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  return png_image_write_to_file(&png, path.c_str(), 0, picture.data.data(), 0, nullptr) != 0;
}

}  // namespace demo
