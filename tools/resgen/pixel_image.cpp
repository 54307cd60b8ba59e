// CPixelImage: storage and conversion to 8-bit channels.
#include "tools/resgen/pixel_image.h"

CPixelImage::CPixelImage(int w, int h)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, Rgba{0.0, 0.0, 0.0, 0.0}) {}

std::vector<std::uint8_t> CPixelImage::ToRgba8() const {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(pixels.size() * 4);
  auto to8 = [](double c) {
    const double scaled = std::floor(c * 255.0 + 0.5);
    return static_cast<std::uint8_t>(scaled < 0.0 ? 0.0 : (scaled > 255.0 ? 255.0 : scaled));
  };
  for (const Rgba& p : pixels) {
    bytes.push_back(to8(p.r));
    bytes.push_back(to8(p.g));
    bytes.push_back(to8(p.b));
    bytes.push_back(to8(p.a));
  }
  return bytes;
}
