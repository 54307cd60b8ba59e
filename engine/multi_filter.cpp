// State-variable filter set-up and the coefficient, worked out once per call. The per-frame loop
// is a template in the header so that the voice can feed it directly.
#include "engine/multi_filter.h"

#include <bit>
#include <cmath>

void CMultiFilter::Init() {
  mode = kLowPass;
  cutoff = 2000.0f;
  low = 0.0f;
  band = 0.0f;
  high = 0.0f;
  coefficientCutoffBits = 0;
  coefficient = 0.0;
  SetDamping(1.0f);
}

void CMultiFilter::SetDamping(float q) {
  damping = q < 0.0f ? 0.0f : (q > 1.0f ? 1.0f : q);
}

void CMultiFilter::Process(StereoFrame* frames, int count) {
  ProcessFrom(frames, count, [frames](int i) { return frames[i].left; });
}

void CMultiFilter::UpdateCoefficient() {
  // A held note keeps its cutoff for many blocks: the sine is only taken when the cutoff moves.
  if (std::bit_cast<std::uint32_t>(cutoff) == coefficientCutoffBits) return;
  // pi/44100 rounded to single precision.
  coefficient = 2.0 * std::sin(static_cast<double>(cutoff) * static_cast<double>(0.000071237926f));
  coefficientCutoffBits = std::bit_cast<std::uint32_t>(cutoff);
}
