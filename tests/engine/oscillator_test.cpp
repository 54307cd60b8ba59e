// The oscillator: increments, pulse offsets and the shapes they give, phase behaviour, and
// waveform indices that only a file can bring.
#include "engine/oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

std::vector<float> Period(COscillator& osc) {
  std::vector<float> out;
  for (int i = 0; i < kTableSize; ++i) out.push_back(osc.Tick());
  return out;
}

// An oscillator that steps one table entry per sample.
void OneEntryPerTick(COscillator& osc) {
  osc.Init();
  osc.SetFrequency(static_cast<float>(4194304.5 / COscillator::kIncrementPerHz));
  ASSERT_EQ(osc.GetIncrement(), 1u << 22);
}

TEST(Oscillator, InitState) {
  COscillator osc;
  osc.Init();
  EXPECT_EQ(osc.GetWaveform(), kSine);
  EXPECT_EQ(osc.GetPulseOffset(), 1024);
  EXPECT_EQ(osc.GetFrequency(), 440.0f);
  EXPECT_EQ(osc.GetIncrement(), 42852280u);
  EXPECT_EQ(osc.GetPhase(), 0u);
}

TEST(Oscillator, Increments) {
  struct Case {
    float hz;
    std::uint32_t increment;
  };
  const Case cases[] = {
      {440.0f, 42852280u},
      {1.0f, 97391u},
      {0.0f, 0u},
      // At and above the sample rate the increment wraps.
      {44100.0f, static_cast<std::uint32_t>(static_cast<std::int64_t>(44100.0 * 97391.546875))},
      // A negative frequency runs the phase backwards.
      {-1.0f, static_cast<std::uint32_t>(-97391)},
      // Beyond any integer: defined as 0 instead of undefined behaviour.
      {std::numeric_limits<float>::infinity(), 0u},
      {std::numeric_limits<float>::quiet_NaN(), 0u},
      {3.0e38f, 0u},
  };
  COscillator osc;
  osc.Init();
  for (const Case& c : cases) {
    osc.SetFrequency(c.hz);
    EXPECT_EQ(osc.GetIncrement(), c.increment) << c.hz << " Hz";
  }
}

TEST(Oscillator, PulseOffsets) {
  struct Case {
    float pulse;
    int offset;
  };
  const Case cases[] = {{0.5f, 512},    {0.0f, 0},      {1.0f, 1024},   {0.25f, 256},
                        {1.5f, 1024},   {-0.5f, 1024},  {-0.0005f, 0},  {0.0005f, 0},
                        {50.0f, 1024},  {-1.0f / 1024.0f, 1024},       {0.999f, 1022},
                        {std::numeric_limits<float>::quiet_NaN(), 1024}, {1e20f, 1024}, {-1e20f, 1024}};
  COscillator osc;
  osc.Init();
  for (const Case& c : cases) {
    osc.SetPulse(c.pulse);
    EXPECT_EQ(osc.GetPulseOffset(), c.offset) << "pulse " << c.pulse;
    EXPECT_EQ(osc.GetWindow(), g_wavetables + kSine * kSlotSize + c.offset);
  }
}

TEST(Oscillator, PulseShapesTheSquareAndSaw) {
  struct Case {
    int waveform;
    float pulse;
    int highSamples;  // samples at or above zero in one period
  };
  const Case cases[] = {{kSquare, 0.0f, 1024}, {kSquare, 1.0f, 0}, {kSquare, 0.25f, 768}, {kSquare, 0.5f, 512}};
  for (const Case& c : cases) {
    COscillator osc;
    OneEntryPerTick(osc);
    osc.SetWaveform(c.waveform);
    osc.SetPulse(c.pulse);
    const std::vector<float> period = Period(osc);
    int high = 0;
    for (float s : period) high += s >= 0.0f ? 1 : 0;
    EXPECT_EQ(high, c.highSamples) << "pulse " << c.pulse;
    if (c.pulse == 0.25f) {
      EXPECT_EQ(period[767], 1.0f);
      EXPECT_EQ(period[768], -1.0f);
    }
  }
  COscillator saw;
  OneEntryPerTick(saw);
  saw.SetWaveform(kSaw);
  saw.SetPulse(0.5f);
  const std::vector<float> ramp = Period(saw);
  EXPECT_EQ(ramp.front(), -1.0f);
  EXPECT_EQ(ramp.back(), 0.998046875f);
  for (int i = 1; i < kTableSize; ++i) ASSERT_GT(ramp[i], ramp[i - 1]);
}

TEST(Oscillator, PhaseAndBlocks) {
  COscillator osc;
  osc.Init();
  osc.SetFrequency(0.0f);
  const float held = osc.Tick();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(osc.Tick(), held);

  osc.SetFrequency(12345.0f);
  osc.ResetPhase();
  const std::uint32_t inc = osc.GetIncrement();
  for (int block = 1; block <= 2000; ++block) {
    osc.TickBlock(8);
    ASSERT_EQ(osc.GetPhase(), static_cast<std::uint32_t>(block * 8u * inc));
  }
  // Setters leave the phase alone.
  const std::uint32_t phase = osc.GetPhase();
  osc.SetPulse(0.3f);
  osc.SetWaveform(kSaw);
  osc.SetFrequency(100.0f);
  EXPECT_EQ(osc.GetPhase(), phase);
}

TEST(Oscillator, FirstSampleAfterResetIsTheWindowStart) {
  COscillator osc;
  osc.Init();
  osc.SetWaveform(kSaw);
  osc.SetPulse(0.5f);
  osc.Tick();
  osc.Tick();
  osc.ResetPhase();
  EXPECT_EQ(osc.Tick(), -1.0f);
}

TEST(Oscillator, WaveformOutsideTheTablesReadsTheNearestTable) {
  struct Case {
    int stored;
    int slot;
  };
  const Case cases[] = {{4, kNoise}, {32767, kNoise}, {-1, kSaw}, {-32768, kSaw}, {3, kNoise}, {0, kSaw}};
  COscillator osc;
  osc.Init();
  for (const Case& c : cases) {
    for (float pulse : {0.0f, 0.5f, 1.0f}) {
      osc.SetPulse(pulse);
      osc.SetWaveform(c.stored);
      EXPECT_EQ(osc.GetWaveform(), c.stored);
      EXPECT_EQ(osc.GetWindow(), g_wavetables + c.slot * kSlotSize + osc.GetPulseOffset());
    }
  }
}

}  // namespace
