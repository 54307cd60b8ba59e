// CKnobStripArt: the knob, its plate and its marker as a shading function of position and angle.
#include "tools/resgen/knob_strip_art.h"

#include "tools/resgen/shading.h"

namespace {

constexpr double kCentre = 16.0;
constexpr double kKnobRadius = 10.6;
constexpr double kSkirtWidth = 2.2;
constexpr double kMarkerDistance = 5.6;
constexpr double kMarkerRadius = 1.75;
constexpr int kRidges = 20;
// Samples across a device pixel: 8 at the normal size, fewer where the pixels are smaller.
constexpr int kSamples = 8;

// Light comes from the upper left, as on every other control of the desktop.
constexpr double kLightX = -0.6;
constexpr double kLightY = -0.8;

Rgba Plate(double x, double y, int scale) {
  const int px = static_cast<int>(x);
  const int py = static_cast<int>(y);
  // Brushed metal: a faint grain per device pixel over streaks that run along each row.
  const int dx = static_cast<int>(x * scale);
  const int dy = static_cast<int>(y * scale);
  const double streak = Noise(dx / (5 * scale), dy, 7) - 0.5;
  const double grain = Noise(dx, dy, 11) - 0.5;
  double v = 0.63 - 0.05 * (y / 32.0) + 0.035 * streak + 0.025 * grain;
  if (px == 0 || py == 0) {
    v += 0.10;
  } else if (px == 31 || py == 31) {
    v -= 0.10;
  }
  return Rgba{v * 0.99, v, v * 1.03, 1.0};
}

Rgba Ticks(double x, double y, Rgba ground) {
  for (int t = 0; t <= 10; ++t) {
    const double a = (-150.0 + 30.0 * t) * kPi / 180.0;
    const bool major = t == 0 || t == 5 || t == 10;
    const double inner = major ? 12.0 : 12.8;
    const double outer = 15.2;
    const double d = SegmentDistance(x, y, kCentre + inner * std::sin(a), kCentre - inner * std::cos(a),
                                     kCentre + outer * std::sin(a), kCentre - outer * std::cos(a));
    if (d < (major ? 0.7 : 0.55)) {
      return Rgba{0.10, 0.10, 0.11, 1.0};
    }
  }
  return ground;
}

Rgba Knob(double x, double y, double angle) {
  const double dx = x - kCentre;
  const double dy = y - kCentre;
  const double r = std::hypot(dx, dy);
  // How much a point on the rim faces the light, -1..1.
  const double facing = r > 0.0 ? (dx * kLightX + dy * kLightY) / r : 0.0;
  if (r > kKnobRadius - kSkirtWidth) {
    const double theta = std::atan2(dx, -dy);
    const double ridge = 0.5 + 0.5 * std::cos(kRidges * (theta - angle));
    const double v = (0.11 + 0.13 * ridge) * (0.75 + 0.45 * facing);
    return Rgba{v, v, v * 1.06, 1.0};
  }
  // The cap: a shallow dome lit from the upper left, with a bright bevel where it meets the skirt.
  const double capEdge = kKnobRadius - kSkirtWidth;
  const double dome = (dx * kLightX + dy * kLightY) / capEdge;
  double v = 0.19 + 0.07 * dome;
  const double bevel = SmoothStep(capEdge - 1.2, capEdge, r);
  v += bevel * 0.16 * facing;
  Rgba cap{v, v, v * 1.07, 1.0};

  const double mx = kCentre + kMarkerDistance * std::sin(angle);
  const double my = kCentre - kMarkerDistance * std::cos(angle);
  const double md = std::hypot(x - mx, y - my);
  if (md < kMarkerRadius) {
    Rgba red{0.93, 0.13, 0.09, 1.0};
    // A glint on the dot's upper left and a darker lower right make it read as a lit bead.
    const double across = ((x - mx) * kLightX + (y - my) * kLightY) / kMarkerRadius;
    red = Scale(red, 0.85 + 0.25 * across);
    if (std::hypot(x - mx + 0.55, y - my + 0.55) < 0.55) {
      red = Rgba{1.0, 0.62, 0.55, 1.0};
    }
    return red;
  }
  // A faint red halo on the cap around the dot.
  const double glow = 0.35 * (1.0 - SmoothStep(kMarkerRadius, kMarkerRadius + 1.4, md));
  return Mix(cap, Rgba{0.55, 0.08, 0.06, 1.0}, glow);
}

Rgba Frame(double x, double y, double angle, int scale) {
  const double r = std::hypot(x - kCentre, y - kCentre);
  if (r < kKnobRadius) {
    return Knob(x, y, angle);
  }
  Rgba ground = Ticks(x, y, Plate(x, y, scale));
  // The knob's shadow falls down and to the right of it.
  const double shadowDistance = std::hypot(x - kCentre - 0.9, y - kCentre - 1.3);
  const double shadow = 0.55 * (1.0 - SmoothStep(kKnobRadius - 0.6, kKnobRadius + 2.2, shadowDistance));
  ground = Scale(ground, 1.0 - shadow);
  // A thin light line round the knob's foot on the lit side.
  const double foot = 1.0 - SmoothStep(0.0, 0.8, r - kKnobRadius);
  const double dx = x - kCentre;
  const double dy = y - kCentre;
  const double facing = (dx * kLightX + dy * kLightY) / r;
  if (facing > 0.0) {
    ground = Mix(ground, Grey(0.85), foot * facing * 0.6);
  }
  return ground;
}

}  // namespace

double CKnobStripArt::FrameAngle(int frame) { return -150.0 + 300.0 * frame / 62.0; }

CPixelImage CKnobStripArt::Render(int scale) {
  const int size = kFrameSize * scale;
  const int samples = kSamples / scale > 2 ? kSamples / scale : 2;
  CPixelImage strip(kFrames * size, size);
  for (int k = 0; k < kFrames; ++k) {
    const double angle = FrameAngle(k) * kPi / 180.0;
    strip.Render(k * size, 0, size, size, samples, [angle, scale](double x, double y) {
      return Frame(x / scale, y / scale, angle, scale);
    });
  }
  return strip;
}
