// A wavetable oscillator: an unsigned 32-bit phase whose top 10 bits index a 1024-sample read
// window into one of the shared wavetables. Sliding the window across the padded table (the pulse
// position) reshapes the wave. The voice uses it for its three audio oscillators, read every
// sample, and for its two LFOs, read once per control block.
#pragma once

#include <cstdint>

#include "engine/wavetables.h"

class COscillator {
 public:
  // 2^32 / 44100 rounded to single precision: the phase increment per Hz.
  static constexpr double kIncrementPerHz = 97391.546875;

  COscillator() = default;
  COscillator(const COscillator&) = delete;
  COscillator& operator=(const COscillator&) = delete;

  void Init();
  void SetPulse(float p);
  void SetFrequency(float hz);
  // Any index is stored as given; the window only ever reads slots 0 to 3.
  void SetWaveform(int w);

  float Tick() {
    const float sample = window[phase >> 22];
    phase += increment;
    return sample;
  }

  float TickBlock(int n) {
    const float sample = window[phase >> 22];
    phase += static_cast<std::uint32_t>(n) * increment;
    return sample;
  }

  void ResetPhase() { phase = 0; }

  int GetWaveform() const { return waveform; }
  float GetFrequency() const { return frequency; }
  std::uint32_t GetIncrement() const { return increment; }
  std::uint32_t GetPhase() const { return phase; }
  int GetPulseOffset() const { return pulseOffset; }
  const float* GetWindow() const { return window; }

 private:
  void UpdateWindow();

  int waveform = 0;
  const float* window = g_wavetables;
  float frequency = 0.0f;
  std::uint32_t increment = 0;
  std::uint32_t phase = 0;
  int pulseOffset = 0;
};
