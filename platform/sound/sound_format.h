// The sample format of a sound buffer: linear PCM described by rate, channels and sample size.
// The audio stream asks for 16-bit mono at 44100 Hz; a layer refuses any format it cannot play.
#pragma once

#include <cstdint>

#include "engine/sample_rate.h"

inline constexpr std::uint16_t kSoundFormatPcm = 1;

struct SoundFormat {
  std::uint16_t formatTag;
  std::uint16_t channels;
  std::uint32_t samplesPerSecond;
  std::uint32_t bytesPerSecond;
  std::uint16_t blockAlign;
  std::uint16_t bitsPerSample;

  bool operator==(const SoundFormat&) const = default;
};

// The one format this program plays.
inline constexpr SoundFormat kPcm16Mono44100 = {kSoundFormatPcm, 1, kSampleRate, kSampleRate * 2, 2, 16};
