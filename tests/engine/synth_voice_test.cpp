// The voice: defaults, note timing, mix weights, tuning, cutoff, modulation, sync, parameter
// values that only files can bring, and the hand-over of calls to the rendering side.
#include "engine/synth_voice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

class SynthVoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    voice = std::make_unique<CSynthVoice>();
    voice->Init();
  }

  // Brings the rendering side up to date without rendering a frame.
  void Apply() {
    StereoFrame dummy{};
    voice->Render(&dummy, 0);
  }

  std::vector<StereoFrame> RenderFrames(int count) {
    std::vector<StereoFrame> frames(count, StereoFrame{0.0f, 0.0f});
    EXPECT_EQ(voice->Render(frames.data(), count), frames.data() + count);
    return frames;
  }

  // Amplitude envelope jumps to 1.0 after the first control block and holds; no filtering.
  void HeldFullLevelUnfiltered() {
    voice->SetParam(kAmpAttack, 0);
    voice->SetParam(kAmpLevel, 100);
    voice->SetParam(kAmpSustain, 0);
    voice->SetParam(kFilterType, 3);
  }

  std::unique_ptr<CSynthVoice> voice;
};

TEST_F(SynthVoiceTest, InitGivesDefaultsAndSilence) {
  for (int i = 0; i < CSynthVoice::kParamCount; ++i) {
    EXPECT_EQ(voice->GetParam(i), kVoiceParams[i].defaultValue) << kVoiceParams[i].name;
  }
  EXPECT_EQ(voice->GetParamCount(), 37);
  EXPECT_FALSE(voice->IsActive());
  std::vector<StereoFrame> frames(100, StereoFrame{7.0f, -7.0f});
  EXPECT_EQ(voice->Render(frames.data(), 100), frames.data() + 100);
  for (const StereoFrame& f : frames) {
    ASSERT_EQ(f.left, 7.0f);
    ASSERT_EQ(f.right, -7.0f);
  }
  EXPECT_EQ(voice->GetBaseFrequency(), 440.0f);
  EXPECT_EQ(voice->GetOscA().GetWaveform(), kSquare);
  EXPECT_EQ(voice->GetOscA().GetPulseOffset(), 512);
  EXPECT_EQ(voice->GetSub().GetPulseOffset(), 512);
  EXPECT_EQ(voice->GetSub().GetFrequency(), 220.0f);
  EXPECT_EQ(voice->GetLfo1().GetFrequency(), g_lfoRateTable[128]);
}

TEST_F(SynthVoiceTest, OutOfRangeIndicesAreIgnored) {
  for (int index : {-1, 37, 1000, -32768}) {
    voice->SetParam(index, 55);
    EXPECT_EQ(voice->GetParam(index), 0);
  }
  for (int i = 0; i < CSynthVoice::kParamCount; ++i) EXPECT_EQ(voice->GetParam(i), kVoiceParams[i].defaultValue);
}

TEST_F(SynthVoiceTest, DefaultNoteLasts22314FramesOfEnvelope) {
  voice->NoteOn();
  EXPECT_TRUE(voice->IsActive());
  // 220 + 44 + 8820 + 13230 frames; in blocks of 8 the envelope turns idle after 22320.
  RenderFrames(22312);
  EXPECT_NE(voice->GetAmpEnv().GetStage(), CEnvelope::kIdle);
  EXPECT_TRUE(voice->IsActive());
  RenderFrames(8);
  EXPECT_EQ(voice->GetAmpEnv().GetStage(), CEnvelope::kIdle);
  EXPECT_FALSE(voice->IsActive());
  std::vector<StereoFrame> after(16, StereoFrame{3.0f, 3.0f});
  voice->Render(after.data(), 16);
  EXPECT_EQ(after[0].left, 3.0f);
}

TEST_F(SynthVoiceTest, FirstControlBlockAfterNoteOnIsSilent) {
  voice->NoteOn();
  std::vector<StereoFrame> frames = RenderFrames(24);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(frames[i].left, 0.0f) << i;
  float loudest = 0.0f;
  for (int i = 8; i < 24; ++i) loudest = std::fmax(loudest, std::fabs(frames[i].left));
  EXPECT_GT(loudest, 0.0f);
  for (const StereoFrame& f : frames) EXPECT_EQ(f.left, f.right);
}

TEST_F(SynthVoiceTest, RenderOfZeroFramesChangesNothing) {
  voice->NoteOn();
  RenderFrames(13);
  const std::uint32_t phase = voice->GetOscA().GetPhase();
  const float env = voice->GetAmpEnv().GetValue();
  StereoFrame frame{1.0f, 1.0f};
  EXPECT_EQ(voice->Render(&frame, 0), &frame);
  EXPECT_EQ(voice->Render(&frame, -5), &frame);
  EXPECT_EQ(frame.left, 1.0f);
  EXPECT_EQ(voice->GetOscA().GetPhase(), phase);
  EXPECT_EQ(voice->GetAmpEnv().GetValue(), env);
}

TEST_F(SynthVoiceTest, ControlPeriodRunsAcrossCalls) {
  voice->NoteOn();
  RenderFrames(20);
  EXPECT_EQ(voice->GetControlCountdown(), 4);
  // The next call starts with a block of 4: the envelope has moved 24 frames after 4 more.
  RenderFrames(4);
  EXPECT_EQ(voice->GetControlCountdown(), 0);
  EXPECT_EQ(voice->GetAmpEnv().GetPosition(), 24u);
}

TEST_F(SynthVoiceTest, MixWeights) {
  struct Case {
    ParamValue mix;
    float a, b;
  };
  const Case cases[] = {{-100, 1.0f, 0.0f}, {0, 0.5f, 0.5f}, {100, 0.0f, 1.0f}};
  for (const Case& c : cases) {
    voice->SetParam(kOscMix, c.mix);
    Apply();
    EXPECT_EQ(voice->GetWeightA(), c.a) << c.mix;
    EXPECT_EQ(voice->GetWeightB(), c.b) << c.mix;
  }
}

TEST_F(SynthVoiceTest, FrameIsTheWeightedSumOfTheThreeOscillators) {
  HeldFullLevelUnfiltered();
  for (int p : {kOscAPulse, kOscBPulse}) voice->SetParam(p, 0);
  voice->SetParam(kOscBWave, kSquare);
  voice->SetParam(kSubWave, kSquare);
  voice->SetParam(kSubLevel, 100);
  voice->NoteOn();
  // Squares at pulse 0 and the sub's first half are +1.0: 0.5 + 0.5 + 1.0.
  std::vector<StereoFrame> frames = RenderFrames(16);
  for (int i = 8; i < 16; ++i) EXPECT_EQ(frames[i].left, 2.0f) << i;
}

TEST_F(SynthVoiceTest, OscillatorBTuning) {
  struct Case {
    ParamValue tune, fine;
    float hz;
    float tolerance;
  };
  const Case cases[] = {{0, 0, 440.0f, 0.0f},
                        {12, 0, 880.0f, 0.0f},
                        {-48, 0, 27.5f, 1e-5f},
                        {0, 100, 466.16376f, 1e-4f},
                        {0, -100, 415.3047f, 1e-3f}};
  for (const Case& c : cases) {
    voice->SetParam(kOscBTune, c.tune);
    voice->SetParam(kOscBFine, c.fine);
    Apply();
    EXPECT_NEAR(voice->GetOscB().GetFrequency(), c.hz, c.tolerance) << c.tune << " " << c.fine;
    EXPECT_EQ(voice->GetOscA().GetFrequency(), 440.0f);
    EXPECT_EQ(voice->GetSub().GetFrequency(), 220.0f);
  }
}

TEST_F(SynthVoiceTest, FilterCutoff) {
  struct Case {
    ParamValue cutoff, amount;
    float hz;
  };
  const Case cases[] = {
      {255, 0, 8020.0f}, {1, 0, 51.37255f}, {127, 0, 4004.314f},
      // With the filter envelope at 1.0 a negative sum folds back upwards: |-1 + 0.498|.
      {127, -128, 4035.686f},
  };
  for (const Case& c : cases) {
    SetUp();
    // The filter envelope reaches 1.0 at once and holds it.
    voice->SetParam(kFltAttack, 0);
    voice->SetParam(kFltLevel, 100);
    voice->SetParam(kFltSustain, 0);
    voice->SetParam(kCutoff, c.cutoff);
    voice->SetParam(kFltEnvAmount, c.amount);
    voice->NoteOn();
    RenderFrames(8);
    EXPECT_EQ(voice->GetFltEnv().GetValue(), 1.0f);
    EXPECT_EQ(voice->GetFilter().cutoff, c.hz) << c.cutoff << " " << c.amount;
  }
}

TEST_F(SynthVoiceTest, LfoOnTheVolumeWithMasterVolumeZero) {
  HeldFullLevelUnfiltered();
  voice->SetParam(kOscAPulse, 0);  // square at pulse 0: constant +1.0
  voice->SetParam(kOscMix, -100);
  voice->SetParam(kMasterVolume, 0);
  voice->SetParam(kLfo1Targets, kTargetVolume);
  voice->SetParam(kLfo1Rate, 255);
  voice->NoteOn();
  RenderFrames(8);
  int heard = 0;
  for (int block = 0; block < 200; ++block) {
    const float expected = std::fabs(voice->GetLfo1Value());
    std::vector<StereoFrame> frames = RenderFrames(8);
    for (const StereoFrame& f : frames) ASSERT_EQ(f.left, expected) << "block " << block;
    heard += expected > 0.5f ? 1 : 0;
  }
  EXPECT_GT(heard, 0);
}

TEST_F(SynthVoiceTest, SyncRestartsOscillatorBOnTheFrameOscillatorAWraps) {
  HeldFullLevelUnfiltered();
  voice->SetParam(kOscSync, 1);
  voice->SetParam(kOscMix, 100);
  voice->SetParam(kOscBWave, kSaw);
  voice->SetParam(kOscBTune, 19);
  voice->SetFrequency(1000.0f);
  voice->NoteOn();
  Apply();
  const std::uint32_t incA = voice->GetOscA().GetIncrement();
  const std::uint32_t incB = voice->GetOscB().GetIncrement();
  ASSERT_EQ(incA, 97391546u);
  // Oscillator A wraps on its 45th tick, frame 44.
  const int wrapFrame = static_cast<int>((0x100000000ull + incA - 1) / incA) - 1;
  ASSERT_EQ(wrapFrame, 44);
  std::vector<StereoFrame> frames = RenderFrames(48);
  EXPECT_EQ(frames[wrapFrame].left, -1.0f) << "B starts its period: the saw's first sample";
  EXPECT_NE(frames[wrapFrame - 1].left, -1.0f);
  EXPECT_EQ(voice->GetOscB().GetPhase(), static_cast<std::uint32_t>((48 - wrapFrame) * incB));

  // Without sync, B runs free.
  SetUp();
  HeldFullLevelUnfiltered();
  voice->SetParam(kOscBTune, 19);
  voice->SetFrequency(1000.0f);
  voice->NoteOn();
  RenderFrames(48);
  EXPECT_EQ(voice->GetOscB().GetPhase(), static_cast<std::uint32_t>(48u * incB));
}

TEST_F(SynthVoiceTest, BothLfosOnThePulseMultiply) {
  voice->SetParam(kLfo1Targets, kTargetPulse);
  voice->SetParam(kLfo2Targets, kTargetPulse);
  voice->SetParam(kLfo1Rate, 255);
  voice->SetParam(kLfo2Rate, 230);
  voice->NoteOn();
  int moved = 0;
  for (int block = 0; block < 300; ++block) {
    RenderFrames(8);
    const double m = static_cast<double>(voice->GetLfo1Value()) * voice->GetLfo2Value();
    const int offset = static_cast<int>(static_cast<float>((m + 1.0) * 0.5) * 1024.0);
    ASSERT_EQ(voice->GetOscA().GetPulseOffset(), offset) << "block " << block;
    moved += offset != 512 ? 1 : 0;
  }
  EXPECT_GT(moved, 100);
  // Clearing the bits puts the pulse back to OscAPulse at once.
  voice->SetParam(kLfo1Targets, 0);
  voice->SetParam(kLfo2Targets, 0);
  Apply();
  EXPECT_EQ(voice->GetOscA().GetPulseOffset(), 512);
}

TEST_F(SynthVoiceTest, DetuneBendsOnlyOscillatorAAndClearsAtOnce) {
  voice->SetParam(kLfo1Targets, kTargetDetune);
  voice->SetParam(kLfo1Rate, 255);
  voice->NoteOn();
  bool bent = false;
  for (int block = 0; block < 100; ++block) {
    RenderFrames(8);
    const float expected =
        static_cast<float>(440.0 * std::pow(2.0, static_cast<double>(voice->GetLfo1Value()) * 1.0));
    ASSERT_EQ(voice->GetOscA().GetFrequency(), expected);
    ASSERT_EQ(voice->GetOscB().GetFrequency(), 440.0f);
    bent = bent || expected != 440.0f;
  }
  EXPECT_TRUE(bent);
  voice->SetParam(kLfo1Targets, 0);
  Apply();
  EXPECT_EQ(voice->GetOscA().GetFrequency(), 440.0f);
}

TEST_F(SynthVoiceTest, CutoffTargetBitModulatesNothing) {
  CSynthVoice plain;
  plain.Init();
  voice->SetParam(kLfo1Targets, kTargetCutoff);
  voice->SetParam(kLfo2Targets, kTargetCutoff);
  for (CSynthVoice* v : {voice.get(), &plain}) {
    v->SetParam(kLfo1Rate, 255);
    v->NoteOn();
  }
  std::vector<StereoFrame> a(4000), b(4000);
  voice->Render(a.data(), 4000);
  plain.Render(b.data(), 4000);
  for (int i = 0; i < 4000; ++i) ASSERT_EQ(a[i].left, b[i].left) << i;
}

TEST_F(SynthVoiceTest, FrequencySetWhileSilentPlaysWithTheNextNote) {
  voice->SetFrequency(220.0f);
  Apply();
  EXPECT_FALSE(voice->IsActive());
  EXPECT_EQ(voice->GetOscA().GetFrequency(), 220.0f);
  EXPECT_EQ(voice->GetSub().GetFrequency(), 110.0f);
  voice->NoteOn();
  RenderFrames(8);
  EXPECT_EQ(voice->GetOscA().GetPhase(), 8u * voice->GetOscA().GetIncrement());
}

TEST_F(SynthVoiceTest, ReleaseTimeZeroEndsAtTheNextControlBlock) {
  voice->SetParam(kAmpRelease, 0);
  voice->SetParam(kAmpSustain, 0);
  voice->NoteOn();
  RenderFrames(800);
  voice->NoteOff();
  RenderFrames(8);
  EXPECT_EQ(voice->GetAmpEnv().GetStage(), CEnvelope::kIdle);
  EXPECT_FALSE(voice->IsActive());
}

TEST_F(SynthVoiceTest, NoteOffBeforeRenderingStillReleases) {
  voice->NoteOn();
  voice->NoteOff();
  EXPECT_TRUE(voice->IsActive());
  Apply();
  EXPECT_EQ(voice->GetAmpEnv().GetStage(), CEnvelope::kRelease);
}

// Calls are replayed in the order made, so the result is that of applying each call at once.
TEST_F(SynthVoiceTest, CallsTakeEffectInTheOrderMade) {
  voice->NoteOn();
  voice->SetParam(kAmpAttack, 100);
  Apply();
  EXPECT_EQ(voice->GetAmpEnv().GetLength(), 220u) << "the note started with the old attack";

  SetUp();
  voice->SetParam(kAmpAttack, 100);
  voice->NoteOn();
  Apply();
  EXPECT_EQ(voice->GetAmpEnv().GetLength(), 4410u);

  // The LFO amount is only read when the frequencies are next worked out.
  SetUp();
  voice->SetParam(kLfo1Rate, 255);
  voice->SetParam(kLfo1Targets, kTargetDetune);
  voice->NoteOn();
  RenderFrames(40);
  const float lfo = voice->GetLfo1Value();
  ASSERT_NE(lfo, 0.0f);
  voice->SetParam(kLfo1Targets, 0);
  voice->SetParam(kLfo1Amount, 50);
  voice->SetParam(kLfo1Targets, kTargetDetune);
  Apply();
  EXPECT_EQ(voice->GetOscA().GetFrequency(),
            static_cast<float>(440.0 * std::pow(2.0, static_cast<double>(lfo) * static_cast<double>(0.5f))));
}

TEST_F(SynthVoiceTest, TableIndicesFromFilesStayInsideTheTables) {
  struct Case {
    VoiceParam param;
    ParamValue value;
  };
  const Case cases[] = {{kOscAWave, 4},      {kOscAWave, -1},     {kOscBWave, 32767}, {kSubWave, -32768},
                        {kLfo1Wave, 9},      {kLfo2Wave, -9},     {kLfo1Rate, 256},   {kLfo1Rate, -1},
                        {kLfo2Rate, 32767},  {kFilterType, 4},    {kFilterType, -1},  {kFilterType, 32767}};
  for (const Case& c : cases) {
    voice->SetParam(c.param, c.value);
    EXPECT_EQ(voice->GetParam(c.param), c.value);
  }
  voice->SetParam(kLfo1Targets, 15);
  voice->SetParam(kLfo2Targets, 15);
  Apply();
  EXPECT_EQ(voice->GetLfo1().GetFrequency(), g_lfoRateTable[0]);
  EXPECT_EQ(voice->GetLfo2().GetFrequency(), g_lfoRateTable[255]);
  EXPECT_EQ(voice->GetOscA().GetWindow() - voice->GetOscA().GetPulseOffset(), g_wavetables);
  EXPECT_EQ(voice->GetOscB().GetWindow() - voice->GetOscB().GetPulseOffset(), g_wavetables + 3 * kSlotSize);
  voice->NoteOn();
  std::vector<StereoFrame> frames = RenderFrames(2000);
  for (const StereoFrame& f : frames) ASSERT_TRUE(std::isfinite(f.left));
}

TEST_F(SynthVoiceTest, FloodOfCallsCatchesUpWithTheLatestValues) {
  for (int i = 0; i < 20000; ++i) voice->SetParam(kMasterVolume, static_cast<ParamValue>(i % 101));
  voice->SetParam(kOscMix, 100);
  voice->SetFrequency(330.0f);
  voice->NoteOn();
  EXPECT_TRUE(voice->IsActive());
  Apply();
  EXPECT_EQ(voice->GetParam(kMasterVolume), 19999 % 101);
  EXPECT_EQ(voice->GetMasterVolume(), static_cast<float>((19999 % 101) * static_cast<double>(0.01f)));
  EXPECT_EQ(voice->GetWeightB(), 1.0f);
  EXPECT_EQ(voice->GetBaseFrequency(), 330.0f);
  EXPECT_EQ(voice->GetAmpEnv().GetStage(), CEnvelope::kAttack);
  RenderFrames(64);
  EXPECT_TRUE(voice->IsActive());
}

}  // namespace
