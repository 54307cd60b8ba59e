// Stress tests of the output chain across threads, meant to run under ThreadSanitizer: the effect
// setters against Process, and the recorder's Start, Drain and Finish against Write from a
// rendering thread, whose files must all be valid WAV files with header sizes that match their
// data. The last test runs the whole block renderer while a control thread does all a user can.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/block_renderer.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/post_process_params.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"
#include "harness/fresh_modules.h"
#include "tests/output/wav_file_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kRunTime = std::chrono::milliseconds(1500);

fs::path MakeTempDir(const char* name) {
  const fs::path dir =
      fs::temp_directory_path() / ("quembrel_stress_" + std::to_string(getpid()) + "_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(OutputStressTest, EffectSettersAgainstProcess) {
  auto distortion = std::make_unique<CDistortion>();
  auto delay = std::make_unique<CEchoDelay>();
  std::atomic<bool> stop{false};
  std::atomic<long> runs{0};
  std::thread audio([&] {
    std::vector<StereoFrame> frames(882);
    for (int i = 0; !stop.load(); ++i) {
      for (std::size_t f = 0; f < frames.size(); ++f) {
        frames[f] = {std::sin(0.05f * (f + i)), 0.25f};
      }
      distortion->Process(frames.data(), static_cast<int>(frames.size()));
      delay->Process(frames.data(), static_cast<int>(frames.size()));
      runs.fetch_add(1);
    }
  });
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float values[] = {-1.0f, 0.0f, 0.5f, 1.0f, 3.0f, 99.0f, 1000.0f, 40000.0f, nan};
  const auto end = Clock::now() + kRunTime;
  for (int i = 0; Clock::now() < end; ++i) {
    const float v = values[i % 9];
    distortion->SetAmount(v);
    delay->SetDelayTime(v);
    delay->SetFeedback(v * 0.001f);
    const float amount = distortion->GetAmount();
    EXPECT_TRUE(amount == 0.0f || amount >= 1.0f);
    EXPECT_LE(delay->GetDelayFrames(), CEchoDelay::kRingFrames);
  }
  stop.store(true);
  audio.join();
  EXPECT_GT(runs.load(), 10);
}

TEST(OutputStressTest, RecorderControlAgainstWrite) {
  const fs::path dir = MakeTempDir("recorder");
  auto recorder = std::make_unique<CWavRecorder>();
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    // Each sample is the next value of a 16-bit counter, so a file that lost nothing holds a run of
    // consecutive values.
    std::int16_t block[882];
    std::uint16_t next = 0;
    for (int i = 0; !stop.load(); ++i) {
      const int n = 1 + i % 882;
      for (int s = 0; s < n; ++s) {
        block[s] = static_cast<std::int16_t>(next++);
      }
      recorder->Write(block, n);
      if (i % 4 == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(20));
      }
    }
  });

  // A take that Finish reports complete lost nothing: its samples are consecutive counter values.
  auto check = [](const std::string& path, bool complete) {
    const WavFileContents wav = ReadWavFile(path);
    ASSERT_TRUE(IsCompleteWav(wav)) << path << ": " << wav.bytes.size() << " bytes";
    for (std::size_t s = 1; complete && s < wav.samples.size(); ++s) {
      ASSERT_EQ(static_cast<std::int16_t>(wav.samples[s - 1] + 1), wav.samples[s]) << path << " " << s;
    }
  };
  std::vector<std::string> takes;
  const auto end = Clock::now() + kRunTime;
  // At least 20 takes however slow the machine is, so that the count checked below is never a
  // matter of timing.
  for (int i = 0; Clock::now() < end || i < 20; ++i) {
    // Most takes end with Finish; every fifth is cut short by the next Start, which must finish it.
    bool complete = false;
    if (i > 0 && i % 5 != 0) {
      complete = recorder->Finish();
    }
    takes.push_back((dir / ("take" + std::to_string(i % 40) + ".wav")).string());
    recorder->Start(takes.back().c_str());
    if (takes.size() >= 2) {
      check(takes[takes.size() - 2], complete);
    }
    for (int d = 0; d < i % 4; ++d) {
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      recorder->Drain();
    }
  }
  const bool complete = recorder->Finish();
  stop.store(true);
  audio.join();
  check(takes.back(), complete);
  EXPECT_GT(takes.size(), 10u);
  fs::remove_all(dir);
}

TEST(OutputStressTest, BlockRendererWhileTheUserPlays) {
  const fs::path dir = MakeTempDir("chain");
  CreateFreshModules();

  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::thread audio([&] {
    std::vector<std::int16_t> block(kMixBufferFrames);
    for (int i = 0; !stop.load(); ++i) {
      RenderBlock(block.data(), i % 10 == 0 ? 8192 : 1764);
      blocks.fetch_add(1);
    }
  });

  std::vector<std::string> files;
  const auto end = Clock::now() + kRunTime;
  for (int i = 0; Clock::now() < end; ++i) {
    const int param = kDistAmount + i % 3;
    const int value = (i * 37) % 300 - 50;
    g_voice->SetParam(param, static_cast<ParamValue>(value));
    ApplyPostProcessParam(param, value);
    g_voice->SetParam(kCutoff, static_cast<ParamValue>(1 + i % 255));
    if (i % 7 == 0) {
      g_riffPlayer->Play();
    } else if (i % 23 == 0) {
      g_riffPlayer->Stop();
      g_voice->NoteOn();
    }
    if (i % 50 == 0) {
      files.push_back((dir / ("chain" + std::to_string(files.size()) + ".wav")).string());
      g_wavRecorder.Start(files.back().c_str());
    } else if (i % 50 == 30) {
      g_wavRecorder.Finish();
    }
    g_wavRecorder.Drain();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  g_wavRecorder.Finish();
  stop.store(true);
  audio.join();

  EXPECT_GT(blocks.load(), 10);
  EXPECT_FALSE(files.empty());
  for (const std::string& path : files) {
    EXPECT_TRUE(IsCompleteWav(ReadWavFile(path))) << path;
  }
  fs::remove_all(dir);
}

}  // namespace
