// CPixelImage: a picture in floating-point colour with alpha, made by evaluating a shading function
// at many points inside every pixel and averaging them in linear light, which anti-aliases every
// edge the function draws. The resource generator paints all its bitmaps and icons this way.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

struct Rgba {
  double r = 0.0;
  double g = 0.0;
  double b = 0.0;
  double a = 1.0;
};

class CPixelImage {
 public:
  CPixelImage(int width, int height);
  CPixelImage(const CPixelImage&) = delete;
  CPixelImage& operator=(const CPixelImage&) = delete;
  CPixelImage(CPixelImage&&) = default;
  CPixelImage& operator=(CPixelImage&&) = default;

  int Width() const { return width; }
  int Height() const { return height; }
  const Rgba& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  Rgba& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }

  // Fills the rectangle at (left, top) of the given size with `shade`, evaluated on a grid of
  // samples x samples points per pixel; shade(x, y) gets coordinates relative to the rectangle
  // (pixel centres at .5) and returns a colour in display (sRGB) values.
  template <typename Shader>
  void Render(int left, int top, int w, int h, int samples, Shader shade);

  // 8-bit red, green, blue, alpha, row by row from the top.
  std::vector<std::uint8_t> ToRgba8() const;

  static double ToLinear(double c) { return std::pow(c < 0.0 ? 0.0 : (c > 1.0 ? 1.0 : c), 2.2); }
  static double ToDisplay(double c) { return std::pow(c < 0.0 ? 0.0 : (c > 1.0 ? 1.0 : c), 1.0 / 2.2); }

 private:
  int width;
  int height;
  std::vector<Rgba> pixels;
};

template <typename Shader>
void CPixelImage::Render(int left, int top, int w, int h, int samples, Shader shade) {
  const double step = 1.0 / samples;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Rgba sum{0.0, 0.0, 0.0, 0.0};
      for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
          const Rgba c = shade(x + (sx + 0.5) * step, y + (sy + 0.5) * step);
          sum.r += ToLinear(c.r) * c.a;
          sum.g += ToLinear(c.g) * c.a;
          sum.b += ToLinear(c.b) * c.a;
          sum.a += c.a;
        }
      }
      Rgba& out = At(left + x, top + y);
      out.a = sum.a / (samples * samples);
      if (sum.a > 0.0) {
        out.r = ToDisplay(sum.r / sum.a);
        out.g = ToDisplay(sum.g / sum.a);
        out.b = ToDisplay(sum.b / sum.a);
      }
    }
  }
}
