// State-variable filter arithmetic. low and band run at double precision within a call and are
// stored as floats between calls; high and the outputs are rounded to float as they are formed,
// and band is updated from the rounded high.
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
  if (mode <= kLowPass) {
    Run<kLowPass>(frames, count);
  } else if (mode == kBandPass) {
    Run<kBandPass>(frames, count);
  } else if (mode == kHighPass) {
    Run<kHighPass>(frames, count);
  } else {
    for (int i = 0; i < count; ++i) frames[i].right = frames[i].left;
  }
}

template <int kMode>
void CMultiFilter::Run(StereoFrame* frames, int count) {
  // A held note keeps its cutoff for many blocks: the sine is only taken when the cutoff moves.
  if (std::bit_cast<std::uint32_t>(cutoff) != coefficientCutoffBits) {
    // pi/44100 rounded to single precision.
    coefficient = 2.0 * std::sin(static_cast<double>(cutoff) * static_cast<double>(0.000071237926f));
    coefficientCutoffBits = std::bit_cast<std::uint32_t>(cutoff);
  }
  const double f = coefficient;
  const double q = damping;
  double lo = low;
  double bp = band;
  float hp = high;
  for (int i = 0; i < count; ++i) {
    const double x = frames[i].left;
    lo = lo + f * bp;
    hp = static_cast<float>(q * x - lo - q * bp);
    bp = bp + f * static_cast<double>(hp);
    float out;
    if constexpr (kMode == kLowPass) {
      out = static_cast<float>(lo);
    } else if constexpr (kMode == kBandPass) {
      out = static_cast<float>(bp);
    } else {
      out = hp;
    }
    frames[i].left = out;
    frames[i].right = out;
  }
  low = static_cast<float>(lo);
  band = static_cast<float>(bp);
  high = hp;
}
