// The rate to open an RtAudio stream at: the engine's own 44100 Hz where the device lists it, else
// the device's preferred rate (a JACK server lists only the rate it runs at). The rate converter
// bridges the difference.
#pragma once

#include <RtAudio.h>

#include <algorithm>

#include "output/rate_converter.h"

inline unsigned int DeviceRateFor(const RtAudio::DeviceInfo& info) {
  const unsigned int engineRate = CRateConverter::kEngineRate;
  if (info.sampleRates.empty() ||
      std::find(info.sampleRates.begin(), info.sampleRates.end(), engineRate) != info.sampleRates.end()) {
    return engineRate;
  }
  return info.preferredSampleRate != 0 ? info.preferredSampleRate : info.sampleRates.front();
}
