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

  // The owner writes these directly; a mode outside 0 to 3 is kept as given and filters as the
  // nearest valid mode.
  int mode = kLowPass;
  float cutoff = 2000.0f;

  float GetDamping() const { return damping; }
  float GetLow() const { return low; }
  float GetBand() const { return band; }
  float GetHigh() const { return high; }

 private:
  template <int kMode>
  void Run(StereoFrame* frames, int count);

  float damping = 1.0f;
  float low = 0.0f;
  float band = 0.0f;
  float high = 0.0f;
  // The coefficient belongs to the cutoff with these bits (+0.0 gives 0.0, so the start agrees).
  std::uint32_t coefficientCutoffBits = 0;
  double coefficient = 0.0;
};
