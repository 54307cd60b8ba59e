// The output switch under ThreadSanitizer: the outputs are switched over and over while the riff
// plays, a recording runs and another thread plays notes and turns knobs, as a user would. Both
// outputs play on a JACK server of the test's own at 48000 Hz, so each one's client is activated
// and deactivated twenty times while the server calls it, and the callback threads and the rate
// converters take part. Following the JACK transport is turned on and off meanwhile. Nothing may
// race, and the recording must come out a whole, readable file.
#include "platform/sound/output_switch.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "engine/voice_params.h"
#include "output/block_renderer.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"
#include "sequencer/voice_note_target.h"
#include "harness/fresh_modules.h"
#include "harness/jack_harness.h"

namespace {

using namespace std::chrono_literals;

TEST(OutputSwitchStressTest, SwitchingWhilePlayingAndRecording) {
  CTestJackServer server(48000, 128);
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;
  COutputSwitch output;
  CreateFreshModules();
  g_riffPlayer->Play();
  CVoiceNoteTarget target(*g_voice);
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("quembrel_switch_stress_" + std::to_string(getpid()) + ".wav")).string();
  ASSERT_TRUE(g_wavRecorder.Start(path.c_str()));
  ASSERT_TRUE(output.Start(OutputMode::kLowLatency, &RenderBlock, &target));

  std::atomic<bool> done{false};
  std::thread player([&] {
    for (int i = 0; !done.load(); ++i) {
      target.SetFrequency(220.0f + static_cast<float>(i % 24) * 10.0f);
      target.NoteOn();
      g_voice->SetParam(kCutoff, static_cast<ParamValue>(1 + i % 255));
      std::this_thread::sleep_for(2ms);
      target.NoteOff();
    }
  });
  int latencyReads = 0;
  std::thread reader([&] {
    while (!done.load()) {
      latencyReads += output.GetLatencyFrames() >= 0 ? 1 : 0;
      std::this_thread::sleep_for(1ms);
    }
  });
  for (int i = 0; i < 20; ++i) {
    const OutputMode next = i % 2 == 0 ? OutputMode::kClassic : OutputMode::kLowLatency;
    // Following the transport turned on and off in both outputs, as the riff panel's menu does.
    output.SetFollowTransport(i % 4 < 2);
    EXPECT_TRUE(output.Switch(next));
    EXPECT_EQ(output.GetMode(), next);
    for (int j = 0; j < 4; ++j) {
      std::this_thread::sleep_for(10ms);
      g_wavRecorder.Drain();
    }
  }
  done = true;
  player.join();
  reader.join();
  output.Stop();
  ASSERT_TRUE(g_wavRecorder.Finish());
  EXPECT_GT(latencyReads, 0);

  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  sf_close(file);
  std::filesystem::remove(path);
  EXPECT_GT(info.frames, 44100 / 4);
}

}  // namespace
