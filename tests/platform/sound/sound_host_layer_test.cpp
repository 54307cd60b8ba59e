// Tests of the host sound layer on a machine where no sound output can be had (no JACK server,
// no PulseAudio server, no ALSA default device, as on a build machine): opening the device fails
// quickly and silently, the audio stream's start fails at the device step and its stop returns
// at once. Also the layer's threads: run, paused and closed.
#include "platform/sound/sound_host_layer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/sound/audio_stream.h"

namespace {

using namespace std::chrono_literals;

// Points every backend's client library at a server or configuration that is not there; returns
// the empty ALSA configuration file to remove afterwards.
std::string HideEverySoundOutput() {
  const std::string suffix = std::to_string(getpid());
  setenv("JACK_DEFAULT_SERVER", ("quembrel-absent-" + suffix).c_str(), 1);
  setenv("PULSE_SERVER", ("unix:/nonexistent/quembrel-" + suffix).c_str(), 1);
  const std::string alsaConfig = "/tmp/quembrel_empty_alsa_" + suffix + ".conf";
  if (std::FILE* file = std::fopen(alsaConfig.c_str(), "w")) std::fclose(file);
  setenv("ALSA_CONFIG_PATH", alsaConfig.c_str(), 1);
  return alsaConfig;
}

std::atomic<int> g_blocks{0};

void CountBlock(std::int16_t*, std::int32_t) { g_blocks.fetch_add(1); }

TEST(SoundHostLayerTest, WithoutAnyOutputStartFailsQuicklyAndSilently) {
  const std::string alsaConfig = HideEverySoundOutput();
  CHostSoundLayer layer;
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(layer.OpenDevice(), nullptr);

  CAudioStream stream;
  EXPECT_FALSE(stream.Start(&CountBlock));
  stream.Stop();
  EXPECT_FALSE(stream.Start(&CountBlock));
  stream.Stop();
  const auto elapsed = std::chrono::steady_clock::now() - before;
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(elapsed, 10s);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  EXPECT_EQ(g_blocks.load(), 0);
  std::remove(alsaConfig.c_str());
}

std::atomic<int> g_threadRuns{0};

std::uint32_t CountRun(void* param) {
  g_threadRuns.fetch_add(*static_cast<int*>(param));
  return 0;
}

TEST(SoundHostLayerTest, ThreadsRunPauseAndClose) {
  CHostSoundLayer layer;
  int step = 3;
  const SoundThreadHandle thread = layer.StartThread(&CountRun, &step);
  ASSERT_NE(thread, kNoSoundThread);
  const auto before = std::chrono::steady_clock::now();
  layer.Pause(20);
  EXPECT_GE(std::chrono::steady_clock::now() - before, 20ms);
  layer.CloseThread(thread);
  EXPECT_EQ(g_threadRuns.load(), 3);
  EXPECT_EQ(layer.StartThread(nullptr, &step), kNoSoundThread);
  layer.CloseThread(kNoSoundThread);
}

}  // namespace
