// The words for what plays, shared by both outputs: the sound system, the engine's rate and the
// device's where they differ, and the buffers, e.g. "PulseAudio (PipeWire) · 44100 Hz → 48000 Hz ·
// 2 × 128 frames". The switch adds the mode. Also the refusal both outputs' opens share: a device
// rate the converter cannot take.
#pragma once

#include <string>

#include "output/rate_converter.h"

inline std::string DescribeSound(const std::string& system, int deviceRate, int bufferCount, int frames) {
  std::string line = system + " · " + std::to_string(CRateConverter::kEngineRate) + " Hz";
  if (deviceRate != CRateConverter::kEngineRate) line += " → " + std::to_string(deviceRate) + " Hz";
  line += " · " + std::to_string(bufferCount) + " × " + std::to_string(frames) + " frames";
  return line;
}

// Readies `converter` for a device at `rate` taking up to `frames` at a time; false with the reason
// in `failure` when it cannot.
inline bool InitConverter(CRateConverter& converter, unsigned int rate, unsigned int frames, std::string* failure) {
  if (converter.Init(static_cast<int>(rate), static_cast<int>(frames))) return true;
  *failure = "the rate converter cannot take " + std::to_string(rate) + " Hz";
  return false;
}
