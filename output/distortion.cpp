// The waveshaper's setter and its per-sample loop, evaluated in double and stored as float so that
// a rendered preset sounds the same on every build.
#include "output/distortion.h"

#include <cmath>

namespace {

float Shape(float x, double k) {
  const double xd = x;
  const double a = std::fabs(xd);
  return static_cast<float>(xd * (k + a) / ((k - 1.0) * a + xd * xd + 1.0));
}

}  // namespace

CDistortion::CDistortion() { Init(); }

void CDistortion::Init() { SetAmount(1.0f); }

void CDistortion::SetAmount(float v) {
  // The negated test also turns NaN into "off".
  amount.store(!(v >= 1.0f) ? 0.0f : v, std::memory_order_relaxed);
}

float CDistortion::GetAmount() const { return amount.load(std::memory_order_relaxed); }

void CDistortion::Process(StereoFrame* frames, int n) {
  const float k = amount.load(std::memory_order_relaxed);
  if (!(k >= 1.0f) || n <= 0) {
    return;
  }
  const double kd = k;
  for (int i = 0; i < n; ++i) {
    frames[i].left = Shape(frames[i].left, kd);
    frames[i].right = Shape(frames[i].right, kd);
  }
}
