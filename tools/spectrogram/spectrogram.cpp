// The short-time transform behind the bank's pictures, one FFTW plan reused for every frame.
#include "tools/spectrogram/spectrogram.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>

void CSpectrogram::Analyse(const std::vector<std::int16_t>& samples, double topHz) {
  levels.clear();
  binCount = std::min(kFrameSize / 2, static_cast<int>(topHz * kFrameSize / static_cast<double>(kSampleRate)) + 1);
  double* in = fftw_alloc_real(kFrameSize);
  fftw_complex* out = fftw_alloc_complex(kFrameSize / 2 + 1);
  const fftw_plan plan = fftw_plan_dft_r2c_1d(kFrameSize, in, out, FFTW_ESTIMATE);
  std::vector<double> window(kFrameSize);
  double windowSum = 0.0;
  for (int i = 0; i < kFrameSize; ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / kFrameSize);
    windowSum += window[i];
  }
  for (std::size_t start = 0; start + kFrameSize <= samples.size(); start += kHop) {
    for (int i = 0; i < kFrameSize; ++i) in[i] = samples[start + i] / 32768.0 * window[i];
    fftw_execute(plan);
    std::vector<double> frame(binCount);
    for (int b = 0; b < binCount; ++b) {
      // A full-scale sine peaks at windowSum / 2 in its bin: that is 0 dB.
      const double magnitude = std::hypot(out[b][0], out[b][1]) / (windowSum / 2.0);
      frame[b] = std::max(-120.0, 20.0 * std::log10(magnitude + 1e-12));
    }
    levels.push_back(std::move(frame));
  }
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
}
