// Stress test of the audio stream, meant for ThreadSanitizer: the real audio thread renders the
// whole output chain into the scripted device, whose play position advances in real time, while
// the user-interface side changes every voice and riff parameter, plays and stops notes and the
// riff, turns the post-process knobs, records, reads which step is heard, and stops and restarts the
// stream.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "platform/sound/audio_stream.h"
#include "output/block_renderer.h"
#include "output/post_process_params.h"
#include "output/wav_recorder.h"
#include "platform/sound/sound_fake_layer.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "harness/fresh_modules.h"

namespace {

using namespace std::chrono_literals;

TEST(AudioStreamStressTest, UserInterfaceChangesEverythingWhileTheAudioThreadRenders) {
  CFakeSoundLayer fake;
  fake.SetPositionMode(FakePositionMode::kRealTime);
  g_audioStream.SetSoundLayer(&fake);
  CreateFreshModules();
  g_riffPlayer->Play();
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const std::string wavPath =
      (dir / ("quembrel_stress_" + std::to_string(getpid()) + ".wav")).string();

  ASSERT_TRUE(g_audioStream.Start(&RenderBlock));
  std::mt19937 random(20261208);
  auto pick = [&random](const ParamInfo& info) {
    return static_cast<ParamValue>(
        std::uniform_int_distribution<int>(info.minimum, info.maximum)(random));
  };
  const auto end = std::chrono::steady_clock::now() + 3s;
  for (int round = 1; std::chrono::steady_clock::now() < end; ++round) {
    const int voiceIndex = static_cast<int>(random() % kVoiceParamCount);
    const ParamValue voiceValue = pick(kVoiceParams[voiceIndex]);
    g_voice->SetParam(voiceIndex, voiceValue);
    ApplyPostProcessParam(voiceIndex, voiceValue);
    const int riffIndex = static_cast<int>(random() % kRiffParamCount);
    g_riffPlayer->SetParam(riffIndex, pick(kRiffParams[riffIndex]));
    if (round % 7 == 0) g_voice->NoteOn();
    if (round % 11 == 0) g_voice->NoteOff();
    if (round % 13 == 0) g_riffPlayer->Stop();
    if (round % 17 == 0) g_riffPlayer->Play();
    if (round % 50 == 0) {
      if (g_wavRecorder.IsRecording()) {
        g_wavRecorder.Finish();
      } else {
        g_wavRecorder.Start(wavPath.c_str());
      }
    }
    g_wavRecorder.Drain();
    // What the riff panel's step light reads while the audio thread renders.
    const int heard = g_riffPlayer->Timeline().StepAt(g_audioStream.LatencyFrames());
    ASSERT_TRUE(heard >= CStepTimeline::kNoStep && heard < kRiffSteps) << heard;
    ASSERT_GE(g_riffPlayer->Timeline().LastAdvanceNs(), 0);
    if (round % 300 == 0) {
      g_audioStream.Stop();
      ASSERT_TRUE(g_audioStream.Start(&RenderBlock));
    }
    std::this_thread::sleep_for(1ms);
  }
  g_audioStream.Stop();
  if (g_wavRecorder.IsRecording()) g_wavRecorder.Finish();
  std::filesystem::remove(wavPath);
  g_audioStream.SetSoundLayer(nullptr);

  // About 150 passes in 3 s at the 20 ms poll, fewer when the sanitizer slows rendering down.
  EXPECT_GT(fake.Count(FakeSoundOp::kCommit), 30u);
}

}  // namespace
