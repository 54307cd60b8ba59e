// CPaletteQuantizer: turns a picture into 8-bit palette indices for bitmaps stored with a palette.
// Pictures of at most 256 colours keep them exactly; others get a median-cut palette of 256
// colours, each pixel taking its nearest entry.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tools/resgen/pixel_image.h"

struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> indices;  // row by row from the top
  std::vector<std::array<std::uint8_t, 3>> palette;
};

class CPaletteQuantizer {
 public:
  static constexpr int kMaxColours = 256;

  // The picture's alpha is ignored: bitmaps with a palette are opaque.
  static IndexedImage Quantize(const CPixelImage& image);
};
