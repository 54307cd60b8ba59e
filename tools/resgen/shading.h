// Small shading helpers shared by the generator's pictures: blending, smooth steps, distances to
// simple shapes and a repeatable per-pixel noise for textures.
#pragma once

#include <cmath>
#include <cstdint>

#include "tools/resgen/pixel_image.h"

inline constexpr double kPi = 3.14159265358979323846;

inline double Clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

inline double SmoothStep(double edge0, double edge1, double x) {
  const double t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3.0 - 2.0 * t);
}

inline Rgba Mix(const Rgba& a, const Rgba& b, double t) {
  return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
              a.a + (b.a - a.a) * t};
}

inline Rgba Scale(const Rgba& c, double k) { return Rgba{c.r * k, c.g * k, c.b * k, c.a}; }

inline Rgba Grey(double v) { return Rgba{v, v, v, 1.0}; }

// Distance from (px, py) to the segment from (ax, ay) to (bx, by).
inline double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax;
  const double dy = by - ay;
  const double t = Clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy));
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// A repeatable value in [0, 1) for an integer position and a seed.
inline double Noise(int x, int y, std::uint32_t seed) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x8DA6B343u ^ static_cast<std::uint32_t>(y) * 0xD8163841u ^
                    seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return (h & 0xFFFFFF) / 16777216.0;
}
