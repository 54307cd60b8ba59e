// The envelope: time conversions, stage walks with exact positions and values, retriggers,
// releases and the timed sustain.
#include "engine/envelope.h"

#include <gtest/gtest.h>

namespace {

struct Times {
  float attack, decay, sustain, level, release;
};

void Configure(CEnvelope& env, const Times& t) {
  env.Init();
  env.SetAttack(t.attack);
  env.SetDecay(t.decay);
  env.SetSustain(t.sustain);
  env.SetLevel(t.level);
  env.SetRelease(t.release);
}

TEST(Envelope, MillisecondsToSamples) {
  struct Case {
    float ms;
    std::uint32_t samples;
  };
  const Case cases[] = {{1.0f, 44},     {5.0f, 220},       {10.0f, 441},     {200.0f, 8820},
                        {300.0f, 13230}, {1000.0f, 44100}, {0.0f, 0},
                        // A negative time from a file wraps: 2^32 minus the count.
                        {-1.0f, 4294967252u}, {-1000.0f, 4294923196u}};
  for (const Case& c : cases) {
    CEnvelope env;
    Configure(env, {c.ms, c.ms, c.ms, 0.5f, c.ms});
    EXPECT_EQ(env.GetAttackSamples(), c.samples) << c.ms << " ms";
    EXPECT_EQ(env.GetDecaySamples(), c.samples) << c.ms << " ms";
    EXPECT_EQ(env.GetReleaseSamples(), c.samples) << c.ms << " ms";
    EXPECT_EQ(env.GetSustainSamples(), c.samples == 0 ? 0xFFFFFFFFu : c.samples) << c.ms << " ms";
  }
}

// Stage walks: gate on from idle, then a series of Advance calls, each with its expected result.
TEST(Envelope, StageWalks) {
  struct Step {
    std::uint32_t advance;
    int stage;
    std::uint32_t position;
    float value;
  };
  struct Case {
    const char* name;
    Times times;
    std::vector<Step> steps;
  };
  const double decayStep = static_cast<float>(1.0 / 441.0);
  const Case cases[] = {
      {"attack then decay to the level",
       {10, 10, 200, 0.5f, 100},
       {{441, CEnvelope::kDecay, 0, 1.0f}, {441, CEnvelope::kSustain, 0, 0.5f}}},
      {"1 ms attack and decay cross into sustain in one call",
       {1, 1, 200, 0.8f, 100},
       {{100, CEnvelope::kSustain, 12, 0.8f}}},
      {"timed sustain releases by itself",
       {10, 10, 200, 0.5f, 100},
       {{882, CEnvelope::kSustain, 0, 0.5f},
        {8819, CEnvelope::kSustain, 8819, 0.5f},
        {1, CEnvelope::kRelease, 0, 0.5f},
        {4410, CEnvelope::kIdle, 0, 0.0f}}},
      {"zero sustain time holds",
       {10, 10, 0, 0.5f, 100},
       {{882, CEnvelope::kSustain, 0, 0.5f}, {4000000, CEnvelope::kSustain, 4000000, 0.5f}}},
      {"zero attack starts in decay",
       {0, 10, 0, 0.5f, 100},
       {{8, CEnvelope::kDecay, 8,
         static_cast<float>(8.0 * static_cast<float>(-(0.5 * decayStep)) + 1.0)}}},
  };
  for (const Case& c : cases) {
    CEnvelope env;
    Configure(env, c.times);
    env.GateOn();
    for (const Step& s : c.steps) {
      env.Advance(s.advance);
      EXPECT_EQ(env.GetStage(), s.stage) << c.name;
      EXPECT_EQ(env.GetPosition(), s.position) << c.name;
      EXPECT_EQ(env.GetValue(), s.value) << c.name;
    }
  }
}

TEST(Envelope, ReleaseFromTheCurrentValue) {
  CEnvelope env;
  Configure(env, {10, 10, 0, 0.5f, 10});
  env.GateOn();
  env.Advance(882);
  env.GateOff();
  EXPECT_EQ(env.GetStage(), CEnvelope::kRelease);
  EXPECT_EQ(env.GetValue(), 0.5f);
  env.Advance(440);
  EXPECT_EQ(env.GetStage(), CEnvelope::kRelease);
  EXPECT_GT(env.GetValue(), 0.0f);
  env.Advance(1);
  EXPECT_EQ(env.GetStage(), CEnvelope::kIdle);
  EXPECT_EQ(env.GetValue(), 0.0f);

  // Release time 0: idle at the next Advance, and idle stays put.
  Configure(env, {10, 10, 0, 0.5f, 0});
  env.GateOn();
  env.Advance(100);
  env.GateOff();
  env.Advance(1);
  EXPECT_EQ(env.GetStage(), CEnvelope::kIdle);
  EXPECT_EQ(env.GetValue(), 0.0f);
  env.Advance(1000);
  EXPECT_EQ(env.GetStage(), CEnvelope::kIdle);
  EXPECT_EQ(env.GetValue(), 0.0f);
  // Gate off while idle changes nothing.
  env.GateOff();
  EXPECT_EQ(env.GetStage(), CEnvelope::kIdle);
}

TEST(Envelope, RetriggerDuringReleaseRisesFromTheCurrentValue) {
  CEnvelope env;
  Configure(env, {10, 10, 0, 1.0f, 1000});
  env.GateOn();
  env.Advance(441);
  env.Advance(441);
  env.GateOff();
  env.Advance(30870);  // 70 % of the release
  const float v = env.GetValue();
  EXPECT_NEAR(v, 0.3f, 1e-6f);
  env.GateOn();
  EXPECT_EQ(env.GetValue(), v) << "the value only moves at the next Advance";
  EXPECT_EQ(env.GetSlope(), static_cast<float>((1.0 - v) * static_cast<double>(static_cast<float>(1.0 / 441.0))));
  env.Advance(441);
  EXPECT_EQ(env.GetStage(), CEnvelope::kDecay);
  EXPECT_EQ(env.GetValue(), 1.0f);
}

TEST(Envelope, SetterDuringAStageAffectsTheNextEntryOnly) {
  CEnvelope env;
  Configure(env, {10, 10, 0, 0.5f, 10});
  env.GateOn();
  env.SetAttack(1000);
  EXPECT_EQ(env.GetLength(), 441u);
  env.Advance(441);
  EXPECT_EQ(env.GetStage(), CEnvelope::kDecay);
  env.GateOn();
  EXPECT_EQ(env.GetLength(), 44100u);
}

TEST(Envelope, NegativeTimesWrapToLongStages) {
  CEnvelope env;
  Configure(env, {-1, 10, 0, 0.5f, 10});
  env.GateOn();
  env.Advance(1000000);
  EXPECT_EQ(env.GetStage(), CEnvelope::kAttack);
  EXPECT_GT(env.GetValue(), 0.0f);
  EXPECT_LT(env.GetValue(), 0.001f);
}

}  // namespace
