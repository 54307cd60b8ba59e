// Wavetable oscillator set-up: pulse window, frequency and waveform. The per-sample reads are
// inline in the header.
#include "engine/oscillator.h"

#include "engine/truncate.h"

void COscillator::Init() {
  EnsureTablesBuilt();
  // 50.0, not 0.5: the clamp leaves the window at its right-hand end until the owner sets it.
  SetPulse(50.0f);
  SetFrequency(440.0f);
  SetWaveform(kSine);
  phase = 0;
}

void COscillator::SetPulse(float p) {
  const std::int32_t offset = TruncateToInt32(static_cast<double>(p) * 1024.0);
  // Read as unsigned, a negative offset is also beyond the end and lands on 1024.
  pulseOffset = static_cast<std::uint32_t>(offset) > 1024u ? 1024 : offset;
  UpdateWindow();
}

void COscillator::SetFrequency(float hz) {
  frequency = hz;
  increment = TruncateToLow32(static_cast<double>(hz) * kIncrementPerHz);
}

void COscillator::SetWaveform(int w) {
  waveform = w;
  UpdateWindow();
}

void COscillator::UpdateWindow() {
  const int slot = waveform < 0 ? 0 : (waveform >= kWaveformCount ? kWaveformCount - 1 : waveform);
  window = g_wavetables + slot * kSlotSize + pulseOffset;
}
