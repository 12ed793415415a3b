// The demo job's pictures: the image the host engraves, generated from a
// seed, and PNG files written through libpng. No simulator here, so the
// demo's test can generate the same image and compare.
#ifndef CARDN5_DEMO_IMAGE_H
#define CARDN5_DEMO_IMAGE_H

#include <stdint.h>

#include <string>
#include <vector>

namespace demo {

// Engraved image rows are this wide: one bit a pixel, the 64 bits of an EPU
// row carried in its two 32-bit code arguments, and 4 words a row of an
// MBU block.
constexpr uint32_t kImageWidth = 64;
constexpr uint32_t kBlockRows = 16;
constexpr uint8_t kEngraved = 0;  // a cell cut into the drum shows dark
constexpr uint8_t kBlank = 255;

// 8-bit samples, row by row; channels 1 (grey) or 3 (RGB).
struct Picture {
  uint32_t width = 0, height = 0, channels = 1;
  std::vector<uint8_t> data;

  Picture() = default;
  Picture(uint32_t w, uint32_t h, uint32_t c) : width(w), height(h), channels(c), data(size_t(w) * h * c, kBlank) {}
  uint8_t* Row(uint32_t y) { return data.data() + size_t(y) * width * channels; }
  const uint8_t* Row(uint32_t y) const { return data.data() + size_t(y) * width * channels; }
};

// The job's image, kImageWidth x rows, kEngraved or kBlank: rings, discs
// and bars placed by the seed, inside a frame.
Picture MakeJobImage(uint32_t rows, uint32_t seed);

bool WritePng(const std::string& path, const Picture& picture);

}  // namespace demo

#endif
