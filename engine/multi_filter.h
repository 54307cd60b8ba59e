// The voice's two-pole state-variable filter with low-pass, band-pass, high-pass and bypass modes.
// It filters a run of frames in place, reading the left half of each and writing its output to
// both halves. The cutoff is turned into a coefficient once per call, that is once per control
// block.
#pragma once

#include <cstdint>

#include "engine/stereo_frame.h"

class CMultiFilter {
 public:
  enum Mode : int { kLowPass = 0, kBandPass = 1, kHighPass = 2, kNone = 3 };

  CMultiFilter() = default;
  CMultiFilter(const CMultiFilter&) = delete;
  CMultiFilter& operator=(const CMultiFilter&) = delete;

  void Init();
  void SetDamping(float q);
  void Process(StereoFrame* frames, int count);
  // Process, with the input of frame i taken from source(i) instead of the frame's left half.
  // The voice feeds its oscillators straight in, so mixing one frame overlaps filtering another.
  template <typename Source>
  void ProcessFrom(StereoFrame* frames, int count, Source&& source);

  // The owner writes these directly; a mode outside 0 to 3 is kept as given and filters as the
  // nearest valid mode.
  int mode = kLowPass;
  float cutoff = 2000.0f;

  float GetDamping() const { return damping; }
  float GetLow() const { return low; }
  float GetBand() const { return band; }
  float GetHigh() const { return high; }

 private:
  template <int kMode, typename Source>
  void Run(StereoFrame* frames, int count, Source& source);
  void UpdateCoefficient();

  float damping = 1.0f;
  float low = 0.0f;
  float band = 0.0f;
  float high = 0.0f;
  // The coefficient belongs to the cutoff with these bits (+0.0 gives 0.0, so the start agrees).
  std::uint32_t coefficientCutoffBits = 0;
  double coefficient = 0.0;
};

template <typename Source>
void CMultiFilter::ProcessFrom(StereoFrame* frames, int count, Source&& source) {
  if (mode <= kLowPass) {
    Run<kLowPass>(frames, count, source);
  } else if (mode == kBandPass) {
    Run<kBandPass>(frames, count, source);
  } else if (mode == kHighPass) {
    Run<kHighPass>(frames, count, source);
  } else {
    for (int i = 0; i < count; ++i) {
      const float x = source(i);
      frames[i].left = x;
      frames[i].right = x;
    }
  }
}

// low and band run at double precision within a call and are stored as floats between calls;
// high and the outputs are rounded to float as they are formed, and band is updated from the
// rounded high.
template <int kMode, typename Source>
void CMultiFilter::Run(StereoFrame* frames, int count, Source& source) {
  UpdateCoefficient();
  const double f = coefficient;
  const double q = damping;
  double lo = low;
  double bp = band;
  float hp = high;
  for (int i = 0; i < count; ++i) {
    const double x = source(i);
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
