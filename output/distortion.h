// The waveshaping distortion applied to every block after the voice: each sample x becomes
// x(k + |x|) / ((k - 1)|x| + x^2 + 1), a soft saturation whose small-signal gain is about k and
// which maps +-1 to +-1 for every k. An amount below 1 switches it off.
//
// The UI thread sets the amount while the audio thread processes, so the amount is an atomic; a
// run reads it once and shapes the whole run with that value.
#pragma once

#include <atomic>

#include "engine/stereo_frame.h"

class CDistortion {
 public:
  CDistortion();
  CDistortion(const CDistortion&) = delete;
  CDistortion& operator=(const CDistortion&) = delete;

  void Init();
  void SetAmount(float v);
  float GetAmount() const;
  void Process(StereoFrame* frames, int n);

 private:
  std::atomic<float> amount;
};

// The program's chain's waveshaper (see block_renderer.h).
extern CDistortion& g_distortion;
