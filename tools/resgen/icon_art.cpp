// CIconArt: the icon as a shading function of position within the unit square.
#include "tools/resgen/icon_art.h"

#include "tools/resgen/shading.h"

namespace {

constexpr double kMargin = 0.04;
constexpr double kCorner = 0.2;
constexpr double kKnobX = 0.5;
constexpr double kKnobY = 0.52;
constexpr double kKnobRadius = 0.29;
constexpr double kMarkerAngle = 45.0 * kPi / 180.0;
constexpr double kLightX = -0.6;
constexpr double kLightY = -0.8;
constexpr int kSamples = 8;

// Signed distance to the rounded tile; negative inside.
double TileDistance(double u, double v) {
  const double half = 0.5 - kMargin - kCorner;
  const double qx = std::fabs(u - 0.5) - half;
  const double qy = std::fabs(v - 0.5) - half;
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - kCorner;
}

Rgba Icon(double u, double v, double pixel, bool detailed) {
  const double tile = TileDistance(u, v);
  if (tile > 0.0) {
    return Rgba{0.0, 0.0, 0.0, 0.0};
  }
  // Tile: the read-out's grey-green, lighter at the top, with a dark rim of one pixel.
  Rgba colour = Scale(Rgba{0.76, 0.81, 0.69, 1.0}, 1.05 - 0.18 * v);
  if (tile > -pixel) {
    return Rgba{0.20, 0.23, 0.19, 1.0};
  }
  const double dx = u - kKnobX;
  const double dy = v - kKnobY;
  const double r = std::hypot(dx, dy);
  if (detailed) {
    for (int t = 0; t <= 6; ++t) {
      const double a = (-150.0 + 50.0 * t) * kPi / 180.0;
      const double d = SegmentDistance(u, v, kKnobX + 0.35 * std::sin(a), kKnobY - 0.35 * std::cos(a),
                                       kKnobX + 0.42 * std::sin(a), kKnobY - 0.42 * std::cos(a));
      if (d < std::max(0.02, 0.6 * pixel)) {
        return Rgba{0.16, 0.19, 0.15, 1.0};
      }
    }
  }
  const double shadowDistance = std::hypot(dx - 0.025, dy - 0.04);
  const double shadow = 0.5 * (1.0 - SmoothStep(kKnobRadius - 0.02, kKnobRadius + 0.08, shadowDistance));
  colour = Scale(colour, 1.0 - shadow);
  if (r >= kKnobRadius) {
    return colour;
  }
  const double facing = r > 0.0 ? (dx * kLightX + dy * kLightY) / r : 0.0;
  const double skirt = kKnobRadius * 0.8;
  double k;
  if (r > skirt) {
    const double theta = std::atan2(dx, -dy);
    const double ridge = detailed ? 0.5 + 0.5 * std::cos(24 * (theta - kMarkerAngle)) : 0.5;
    k = (0.13 + 0.09 * ridge) * (0.75 + 0.45 * facing);
  } else {
    k = 0.19 + 0.07 * (dx * kLightX + dy * kLightY) / skirt;
    k += SmoothStep(skirt - 0.04, skirt, r) * 0.16 * facing;
  }
  Rgba knob{k, k, k * 1.07, 1.0};
  double mx = kKnobX + 0.15 * std::sin(kMarkerAngle);
  double my = kKnobY - 0.15 * std::cos(kMarkerAngle);
  if (!detailed) {
    // At the smallest size the dot sits on a pixel corner, so it fills a clean square of four.
    mx = std::round(mx / pixel) * pixel;
    my = std::round(my / pixel) * pixel;
  }
  const double markerRadius = std::max(0.055, 1.05 * pixel);
  const double md = std::hypot(u - mx, v - my);
  if (md < markerRadius) {
    const double across = ((u - mx) * kLightX + (v - my) * kLightY) / markerRadius;
    knob = Scale(Rgba{0.93, 0.13, 0.09, 1.0}, 0.85 + 0.25 * across);
  }
  return knob;
}

}  // namespace

CPixelImage CIconArt::Render(int size) {
  CPixelImage icon(size, size);
  const double pixel = 1.0 / size;
  const bool detailed = size >= 24;
  icon.Render(0, 0, size, size, kSamples,
              [=](double x, double y) { return Icon(x * pixel, y * pixel, pixel, detailed); });
  return icon;
}
