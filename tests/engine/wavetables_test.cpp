// The shared tables: the exact entries of each waveform, the padding, the fixed noise pattern and
// the LFO rates.
#include "engine/wavetables.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/oscillator.h"

namespace {

float Entry(int slot, int i) { return g_wavetables[slot * kSlotSize + kTablePadding + i]; }

TEST(Wavetables, EntriesAtBothEndsOfEveryTable) {
  EnsureTablesBuilt();
  struct Case {
    int slot;
    int index;
    float expected;
  };
  const Case cases[] = {
      {kSaw, 0, -1.0f},      {kSaw, 512, 0.0f},          {kSaw, 1023, 0.998046875f},
      {kSquare, 0, 1.0f},    {kSquare, 511, 1.0f},       {kSquare, 512, -1.0f},
      {kSquare, 1023, -1.0f}, {kSine, 0, 0.0f},          {kSine, 1023, -0.0061361864f},
      {kNoise, 0, -0.9974975f}, {kNoise, 1, 0.12717062f}, {kNoise, 2, -0.6133915f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Entry(c.slot, c.index), c.expected) << "slot " << c.slot << " entry " << c.index;
  }
  EXPECT_TRUE(g_wavetablesBuilt.load());
}

TEST(Wavetables, PaddingRepeatsTheEndValues) {
  EnsureTablesBuilt();
  for (int slot = 0; slot < kWaveformCount; ++slot) {
    const float* base = g_wavetables + slot * kSlotSize;
    for (int i = 0; i < kTablePadding; ++i) {
      ASSERT_EQ(base[i], Entry(slot, 0)) << "slot " << slot;
      ASSERT_EQ(base[kTablePadding + kTableSize + i], Entry(slot, kTableSize - 1)) << "slot " << slot;
    }
  }
}

TEST(Wavetables, NoiseStaysWithinFullScaleAndSurvivesMoreInits) {
  EnsureTablesBuilt();
  float before[kTableSize];
  for (int i = 0; i < kTableSize; ++i) {
    before[i] = Entry(kNoise, i);
    ASSERT_GE(before[i], -1.0f);
    ASSERT_LE(before[i], 1.0f);
  }
  COscillator a;
  COscillator b;
  a.Init();
  b.Init();
  for (int i = 0; i < kTableSize; ++i) ASSERT_EQ(Entry(kNoise, i), before[i]);
}

TEST(Wavetables, LfoRates) {
  EnsureTablesBuilt();
  struct Case {
    int index;
    float hz;
  };
  const Case cases[] = {{255, 40.0f},       {254, 38.759693f},   {192, 5.4984508f},
                        {128, 0.7323876f},  {64, 0.097553231f},  {0, 0.012993983f}};
  for (const Case& c : cases) EXPECT_EQ(g_lfoRateTable[c.index], c.hz) << "rate " << c.index;
  for (int v = 1; v < kLfoRateCount; ++v) ASSERT_LT(g_lfoRateTable[v - 1], g_lfoRateTable[v]);
}

}  // namespace
