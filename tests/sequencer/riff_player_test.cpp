// The riff player: step timing and triggering, gates, note clamping, tempo changes mid-step,
// Stop and Play, rendering while stopped, tempos that only a file can bring, and the timeline of
// which step sounded at which frame.
#include "sequencer/riff_player.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/synth_voice.h"

namespace {

class RiffPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    voice = std::make_unique<CSynthVoice>();
    voice->Init();
    riff = std::make_unique<CRiffPlayer>();
    riff->Init();
    riff->Attach(voice.get());
  }

  void Apply() {
    StereoFrame dummy{};
    riff->Render(&dummy, 0);
    voice->Render(&dummy, 0);
  }

  void RenderFrames(int count) {
    std::vector<StereoFrame> frames(count > 0 ? count : 1);
    EXPECT_EQ(riff->Render(frames.data(), count), frames.data() + count);
  }

  std::unique_ptr<CSynthVoice> voice;
  std::unique_ptr<CRiffPlayer> riff;
};

TEST_F(RiffPlayerTest, InitDefaults) {
  for (int i = 0; i < CRiffPlayer::kParamCount; ++i) EXPECT_EQ(riff->GetParam(i), kRiffParams[i].defaultValue) << i;
  EXPECT_EQ(riff->GetParamCount(), 36);
  EXPECT_FALSE(riff->IsActive());
  EXPECT_EQ(riff->GetStep(), 0);
  EXPECT_EQ(riff->GetSamplesLeft(), 0u);
  EXPECT_EQ(riff->GetSamplesPerStep(), 6890u);
  for (int index : {-1, 36, 999}) {
    riff->SetParam(index, 5);
    EXPECT_EQ(riff->GetParam(index), 0);
  }
}

TEST_F(RiffPlayerTest, StepLengths) {
  struct Case {
    ParamValue bpm;
    std::uint32_t samples;
  };
  // Tempos of 0 and below come only from files and play as tempo 1.
  const Case cases[] = {{1, 661500u}, {96, 6890u}, {120, 5512u}, {200, 3307u},
                        {0, 661500u}, {-5, 661500u}, {-32768, 661500u}, {32767, 20u}, {1000, 661u}};
  for (const Case& c : cases) {
    riff->SetParam(kBpm, c.bpm);
    Apply();
    EXPECT_EQ(riff->GetParam(kBpm), c.bpm);
    EXPECT_EQ(riff->GetSamplesPerStep(), c.samples) << c.bpm;
  }
}

TEST_F(RiffPlayerTest, DefaultRiffTriggersStepsOnTheirFrames) {
  riff->Play();
  EXPECT_TRUE(riff->IsActive());
  RenderFrames(1);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(30));
  EXPECT_NEAR(voice->GetBaseFrequency(), 311.127f, 1e-3f);
  EXPECT_EQ(voice->GetAmpEnv().GetStage(), CEnvelope::kAttack);
  RenderFrames(6888);
  EXPECT_EQ(riff->GetStep(), 1);
  EXPECT_EQ(riff->GetSamplesLeft(), 1u);
  RenderFrames(1);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(30)) << "step 1 is not due before frame 6890";
  RenderFrames(1);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(29));
  EXPECT_EQ(voice->GetAmpEnv().GetPosition(), 1u) << "the note started on the block's first frame";

  SetUp();
  riff->Play();
  RenderFrames(10000);
  EXPECT_EQ(riff->GetSamplesLeft(), 3780u);
  EXPECT_EQ(riff->GetStep(), 2);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(29));
}

TEST_F(RiffPlayerTest, BoundaryAtTheEndOfACallTriggersOnTheNextCall) {
  riff->Play();
  RenderFrames(6890);
  EXPECT_EQ(riff->GetSamplesLeft(), 0u);
  EXPECT_EQ(riff->GetStep(), 1);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(30));
  RenderFrames(1);
  EXPECT_EQ(riff->GetStep(), 2);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(29));
}

TEST_F(RiffPlayerTest, ClosedGateSkipsTheStepButAdvances) {
  riff->SetParam(kStepGate0 + 1, 0);
  riff->Play();
  RenderFrames(6890 + 100);
  EXPECT_EQ(riff->GetStep(), 2);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(30));
  EXPECT_EQ(voice->GetAmpEnv().GetStage(), CEnvelope::kSustain) << "not retriggered 100 frames ago";
  // Any non-zero gate plays.
  riff->SetParam(kStepGate0 + 2, -3);
  RenderFrames(6890);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(24));
}

TEST_F(RiffPlayerTest, NotesAreClampedAfterTransposition) {
  struct Case {
    ParamValue note, transpose;
    int played;
    float hz;
  };
  const Case cases[] = {{0, 0, 1, 58.2705f},     {96, 48, 96, 14080.0f}, {36, 0, 36, 440.0f},
                        {24, 0, 24, 220.0f},     {48, 0, 48, 880.0f},    {-32768, -32768, 1, 58.2705f},
                        {32767, 32767, 96, 14080.0f}, {30, 6, 36, 440.0f}};
  for (const Case& c : cases) {
    SetUp();
    riff->SetParam(kStepNote0, c.note);
    riff->SetParam(kTranspose, c.transpose);
    riff->Play();
    RenderFrames(1);
    EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(c.played)) << c.note << " " << c.transpose;
    EXPECT_NEAR(voice->GetBaseFrequency(), c.hz, c.hz * 1e-5f);
  }
}

TEST_F(RiffPlayerTest, TempoChangesMidStep) {
  struct Case {
    std::uint32_t framesIntoStep;  // of a 6890-frame step at tempo 96
    ParamValue newBpm;
    std::uint32_t leftAfterChange;
    std::uint32_t nextStepLength;
  };
  const Case cases[] = {
      {1890, 200, 0, 3307},     // 5000 left: at least a new step, so the next step starts at once
      {3890, 200, 3000, 3307},  // 3000 left: the countdown goes on
      {1890, 96, 5000, 6890},
  };
  for (const Case& c : cases) {
    SetUp();
    riff->Play();
    RenderFrames(1 + static_cast<int>(c.framesIntoStep) - 1);
    ASSERT_EQ(riff->GetSamplesLeft(), 6890u - c.framesIntoStep);
    riff->SetParam(kBpm, c.newBpm);
    Apply();
    EXPECT_EQ(riff->GetSamplesLeft(), c.leftAfterChange);
    EXPECT_EQ(riff->GetSamplesPerStep(), c.nextStepLength);
    RenderFrames(static_cast<int>(c.leftAfterChange) + 1);
    EXPECT_EQ(riff->GetStep(), 2);
    EXPECT_EQ(riff->GetSamplesLeft(), c.nextStepLength - 1);
  }
  // From 200 down to 96: the running countdown continues, the following steps take 6890.
  SetUp();
  riff->SetParam(kBpm, 200);
  riff->Play();
  RenderFrames(1000);
  riff->SetParam(kBpm, 96);
  Apply();
  EXPECT_EQ(riff->GetSamplesLeft(), 2307u);
  RenderFrames(2308);
  EXPECT_EQ(riff->GetSamplesLeft(), 6889u);
}

TEST_F(RiffPlayerTest, StopRewindsAndPlayRestartsAtStepZero) {
  riff->Play();
  RenderFrames(20000);
  EXPECT_EQ(riff->GetStep(), 3);
  riff->Stop();
  EXPECT_FALSE(riff->IsActive());
  Apply();
  EXPECT_EQ(riff->GetStep(), 0);
  EXPECT_EQ(riff->GetSamplesLeft(), 0u);
  RenderFrames(5000);
  EXPECT_EQ(riff->GetStep(), 0) << "stopped: no steps";
  riff->Play();
  riff->Play();
  RenderFrames(1);
  EXPECT_EQ(riff->GetStep(), 1);
  EXPECT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(30));
  // Stop and Play between two renders still rewind.
  RenderFrames(7000);
  riff->Stop();
  riff->Play();
  RenderFrames(1);
  EXPECT_EQ(riff->GetStep(), 1);
}

TEST_F(RiffPlayerTest, StoppedRenderIsTheVoiceRender) {
  CSynthVoice alone;
  alone.Init();
  for (CSynthVoice* v : {voice.get(), &alone}) {
    v->SetParam(kAmpSustain, 0);
    v->NoteOn();
  }
  std::vector<StereoFrame> a(3000), b(3000);
  EXPECT_EQ(riff->Render(a.data(), 3000), a.data() + 3000);
  alone.Render(b.data(), 3000);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(a[i].left, b[i].left) << i;
  EXPECT_EQ(riff->Render(a.data(), -4), a.data());
}

TEST_F(RiffPlayerTest, WithoutAVoiceStepsAdvanceSilently) {
  CRiffPlayer lone;
  lone.Init();
  lone.Play();
  std::vector<StereoFrame> frames(10000, StereoFrame{0.5f, 0.5f});
  EXPECT_EQ(lone.Render(frames.data(), 10000), frames.data() + 10000);
  EXPECT_EQ(lone.GetStep(), 2);
  for (const StereoFrame& f : frames) ASSERT_EQ(f.left, 0.5f);
}

TEST_F(RiffPlayerTest, WholeRiffCyclesThroughSixteenSteps) {
  riff->SetParam(kBpm, 200);
  riff->Play();
  for (int s = 0; s < 16; ++s) {
    RenderFrames(3307);
    const int expectedStep = (s + 1) % 16;
    ASSERT_EQ(riff->GetStep(), expectedStep);
    ASSERT_EQ(voice->GetBaseFrequency(), CRiffPlayer::RiffNoteFrequency(kRiffParams[kStepNote0 + s].defaultValue));
  }
}

// Steps start on their exact frames, also inside a block; a stop ends the last step where the
// block after it begins.
TEST_F(RiffPlayerTest, TheTimelineKnowsWhichStepSoundedAtEachFrame) {
  riff->SetParam(kBpm, 200);  // 3307 frames a step
  RenderFrames(1000);         // stopped
  riff->Play();
  RenderFrames(5000);   // frames 1000..5999: step 0 from 1000, step 1 from 4307
  RenderFrames(10000);  // frames 6000..15999: steps 2, 3 and 4 from 7614, 10921 and 14228
  riff->Stop();
  RenderFrames(500);  // frames 16000..16499: stopped
  const CStepTimeline& timeline = riff->Timeline();
  ASSERT_EQ(timeline.RenderedFrames(), 16500u);
  struct Case {
    std::uint64_t frame;
    int step;
  };
  const Case cases[] = {{0, -1},     {999, -1},    {1000, 0},    {4306, 0},  {4307, 1},  {7613, 1},
                        {7614, 2},   {10921, 3},   {14227, 3},   {14228, 4}, {15999, 4}, {16000, -1},
                        {16499, -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(timeline.StepAt(16500 - c.frame), c.step) << c.frame;
  }
  EXPECT_EQ(timeline.StepAt(16501), -1);  // before the first frame
  EXPECT_EQ(timeline.StepAt(1u << 30), -1);
}

}  // namespace
