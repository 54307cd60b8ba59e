// The voice and the riff player under concurrent use: one thread renders through the riff player
// as the audio thread does, while a user-interface thread turns every knob, plays notes, loads
// presets and riffs and starts and stops the riff, and a third thread plays notes as a keyboard
// would. Run under ThreadSanitizer, it must report nothing; afterwards the rendering side must
// agree with the last values written.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/synth_voice.h"
#include "sequencer/riff_player.h"

namespace {

namespace fs = std::filesystem;

constexpr auto kDuration = std::chrono::milliseconds(3000);

ParamValue RandomInRange(std::mt19937& random, const ParamInfo& info) {
  const int span = info.maximum - info.minimum + 1;
  return static_cast<ParamValue>(info.minimum + static_cast<int>(random() % static_cast<unsigned>(span)));
}

TEST(EngineStress, RenderWhileOtherThreadsChangeEverything) {
  std::string pattern = (fs::temp_directory_path() / "quembrel-stress-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;

  CSynthVoice voice;
  voice.Init();
  CRiffPlayer riff;
  riff.Init();
  riff.Attach(&voice);
  riff.SetParam(kBpm, 200);
  const std::string preset = (dir / "a.kv7").string();
  const std::string riffFile = (dir / "a.riff").string();
  ASSERT_TRUE(voice.SaveParams(preset.c_str()));
  ASSERT_TRUE(riff.SaveParams(riffFile.c_str()));
  riff.Play();

  std::atomic<bool> done{false};
  std::atomic<long> framesRendered{0};
  std::atomic<bool> finite{true};

  std::thread audio([&] {
    std::vector<StereoFrame> block(4096);
    std::mt19937 random(1);
    long frames = 0;
    while (!done.load(std::memory_order_relaxed)) {
      const int n = 1 + static_cast<int>(random() % 1024);
      for (int i = 0; i < n; ++i) block[i] = StereoFrame{0.0f, 0.0f};
      riff.Render(block.data(), n);
      for (int i = 0; i < n; ++i) {
        if (!std::isfinite(block[i].left)) finite.store(false, std::memory_order_relaxed);
      }
      frames += n;
    }
    framesRendered.store(frames);
  });

  std::thread keyboard([&] {
    std::mt19937 random(2);
    while (!done.load(std::memory_order_relaxed)) {
      voice.SetFrequency(static_cast<float>(50 + random() % 2000));
      voice.NoteOn();
      std::this_thread::yield();
      voice.NoteOff();
    }
  });

  std::mt19937 random(3);
  const auto start = std::chrono::steady_clock::now();
  long calls = 0;
  while (std::chrono::steady_clock::now() - start < kDuration) {
    for (int i = 0; i < CSynthVoice::kParamCount; ++i) voice.SetParam(i, RandomInRange(random, kVoiceParams[i]));
    for (int i = 0; i < CRiffPlayer::kParamCount; ++i) riff.SetParam(i, RandomInRange(random, kRiffParams[i]));
    // Short riffs keep the step boundaries busy.
    riff.SetParam(kBpm, static_cast<ParamValue>(150 + random() % 51));
    switch (random() % 8) {
      case 0: voice.NoteOn(); break;
      case 1: voice.NoteOff(); break;
      case 2: voice.SetFrequency(static_cast<float>(random() % 5000)); break;
      case 3: EXPECT_TRUE(voice.LoadParams(preset.c_str())); break;
      case 4: EXPECT_TRUE(riff.LoadParams(riffFile.c_str())); break;
      case 5: riff.Stop(); break;
      case 6: riff.Play(); break;
      default: voice.IsActive(); riff.IsActive(); break;
    }
    ++calls;
    if (calls % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  done.store(true);
  keyboard.join();
  audio.join();
  fs::remove_all(dir);

  EXPECT_GT(framesRendered.load(), 44100);
  EXPECT_TRUE(finite.load());

  // With the threads gone, the rendering side catches up with exactly the values last written.
  StereoFrame dummy{};
  riff.Render(&dummy, 0);
  voice.Render(&dummy, 0);
  EXPECT_EQ(voice.GetWeightB(),
            static_cast<float>((voice.GetParam(kOscMix) + 100) * static_cast<double>(0.005f)));
  EXPECT_EQ(voice.GetOscA().GetWaveform(), voice.GetParam(kOscAWave));
  EXPECT_EQ(voice.GetFilter().mode, voice.GetParam(kFilterType));
  EXPECT_EQ(voice.GetLfo2().GetFrequency(), g_lfoRateTable[voice.GetParam(kLfo2Rate)]);
  EXPECT_EQ(riff.GetSamplesPerStep(), static_cast<std::uint32_t>(2646000 / (riff.GetParam(kBpm) * 4)));
  EXPECT_EQ(riff.IsPlaying(), riff.IsActive());
  EXPECT_GE(riff.GetStep(), 0);
  EXPECT_LT(riff.GetStep(), 16);
}

}  // namespace
