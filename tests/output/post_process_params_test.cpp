// Tests of the hand-over of the voice's post-process parameters to the effects, including the
// out-of-range values that only preset files bring.
#include "output/post_process_params.h"

#include <gtest/gtest.h>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/distortion.h"
#include "output/echo_delay.h"

namespace {

TEST(PostProcessParamsTest, ParametersReachTheEffects) {
  const struct {
    int index;
    int value;
    float amount;
    float timeMs;
    std::uint32_t delayFrames;
    float feedback;
  } cases[] = {
      {34, 0, 0.0f, 0.0f, 0, 0.0f},           {34, 1, 1.0f, 0.0f, 0, 0.0f},
      {34, 100, 100.0f, 0.0f, 0, 0.0f},       {34, -3, 0.0f, 0.0f, 0, 0.0f},
      {35, 10, 1.0f, 10.0f, 441, 0.0f},       {35, 743, 1.0f, 743.0f, 32766, 0.0f},
      {35, 32767, 1.0f, 32767.0f, 32768, 0.0f}, {35, -20, 1.0f, 0.0f, 0, 0.0f},
      {36, 100, 1.0f, 0.0f, 0, 1.0f},         {36, 50, 1.0f, 0.0f, 0, 0.5f},
      {36, 150, 1.0f, 0.0f, 0, 1.5f},         {36, 200, 1.0f, 0.0f, 0, 2.0f},
      {36, 32767, 1.0f, 0.0f, 0, 2.0f},       {36, -1, 1.0f, 0.0f, 0, 0.0f},
      {33, 77, 1.0f, 0.0f, 0, 0.0f},          {37, 77, 1.0f, 0.0f, 0, 0.0f},
  };
  for (const auto& c : cases) {
    g_distortion.Init();
    g_echoDelay.Init();
    ApplyPostProcessParam(c.index, c.value);
    EXPECT_EQ(g_distortion.GetAmount(), c.amount) << c.index << " = " << c.value;
    EXPECT_EQ(g_echoDelay.GetTimeMs(), c.timeMs) << c.index << " = " << c.value;
    EXPECT_EQ(g_echoDelay.GetDelayFrames(), c.delayFrames) << c.index << " = " << c.value;
    EXPECT_EQ(g_echoDelay.GetFeedback(), c.feedback) << c.index << " = " << c.value;
  }
}

TEST(PostProcessParamsTest, ALoadedPresetReachesTheEffects) {
  CSynthVoice voice;
  voice.Init();
  voice.SetParam(kDistAmount, 20);
  voice.SetParam(kDelayTime, 300);
  voice.SetParam(kDelayFeedback, 50);
  g_distortion.Init();
  g_echoDelay.Init();
  ApplyPostProcessParams(voice);
  EXPECT_EQ(g_distortion.GetAmount(), 20.0f);
  EXPECT_EQ(g_echoDelay.GetTimeMs(), 300.0f);
  EXPECT_EQ(g_echoDelay.GetFeedback(), 0.5f);
  EXPECT_EQ(voice.GetParam(kDelayTime), 300);
}

}  // namespace
