// CSpectrogram: the short-time spectrum of a mono recording, for the pictures of the bank's sounds.
// Frames of kFrameSize samples under a Hann window, kHop apart, go through FFTW's real transform;
// each frame keeps the level in decibels of every bin up to the top frequency asked for.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sample_rate.h"

class CSpectrogram {
 public:
  static constexpr int kFrameSize = 2048;
  static constexpr int kHop = 512;

  CSpectrogram() = default;
  CSpectrogram(const CSpectrogram&) = delete;
  CSpectrogram& operator=(const CSpectrogram&) = delete;

  // Analyses samples at 44100 Hz up to topHz.
  void Analyse(const std::vector<std::int16_t>& samples, double topHz);
  int GetFrameCount() const { return static_cast<int>(levels.size()); }
  int GetBinCount() const { return binCount; }
  // Level of one bin in dB relative to a full-scale sine, floored at -120.
  double GetLevel(int frame, int bin) const { return levels[frame][bin]; }
  // Frequency of a bin's centre.
  static double BinHz(int bin) { return bin * static_cast<double>(kSampleRate) / kFrameSize; }

 private:
  int binCount = 0;
  std::vector<std::vector<double>> levels;
};
