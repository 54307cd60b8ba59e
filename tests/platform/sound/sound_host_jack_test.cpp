// End-to-end test of the host sound layer against a real sound server: the test starts its own
// JACK server on the dummy driver, plays the default riff through the block renderer and the
// audio stream while a recording runs, captures what reaches the server with a JACK client of its
// own, and checks that the captured audio holds the recorded samples, unchanged and in order. It
// skips only when the server cannot be started; the server is killed however the test ends.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/audio_stream.h"
#include "output/block_renderer.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"
#include "harness/fresh_modules.h"
#include "harness/jack_server.h"
#include "tests/output/wav_file_reader.h"

namespace {

using namespace std::chrono_literals;

constexpr int kServerFrames = 256;

// A JACK client with one input port that keeps everything it receives, up to its capacity.
class Capture {
 public:
  static constexpr std::uint32_t kCapacity = 44100 * 10;

  explicit Capture(const std::string& server) : samples(new float[kCapacity]) {
    jack_status_t status{};
    client = jack_client_open("quembrel-capture",
                              static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                              &status, server.c_str());
    if (!client) return;
    port = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, &Capture::Process, this);
    jack_set_xrun_callback(client, &Capture::Xrun, this);
    if (!port || jack_activate(client) != 0) Close();
  }
  ~Capture() { Close(); }

  bool IsOpen() const { return client != nullptr; }
  std::uint32_t Count() const { return count.load(std::memory_order_acquire); }
  jack_client_t* GetClient() const { return client; }
  std::string GetPortName() const { return jack_port_name(port); }

  void Close() {
    if (!client) return;
    jack_deactivate(client);
    jack_client_close(client);
    client = nullptr;
  }

  // Cycles some client missed: the loaded, non-real-time server splits the stream there.
  int Xruns() const { return xruns.load(std::memory_order_acquire); }

  std::vector<std::int16_t> Samples() const {
    const std::uint32_t n = count.load(std::memory_order_acquire);
    std::vector<std::int16_t> out(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      out[i] = static_cast<std::int16_t>(samples[i] * 32768.0f);
    }
    return out;
  }

 private:
  static int Xrun(void* arg) {
    static_cast<Capture*>(arg)->xruns.fetch_add(1, std::memory_order_acq_rel);
    return 0;
  }
  static int Process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<Capture*>(arg);
    const auto* in = static_cast<const float*>(jack_port_get_buffer(self->port, frames));
    const std::uint32_t have = self->count.load(std::memory_order_relaxed);
    const std::uint32_t take = std::min<std::uint32_t>(frames, kCapacity - have);
    std::copy(in, in + take, self->samples.get() + have);
    self->count.store(have + take, std::memory_order_release);
    return 0;
  }

  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  std::unique_ptr<float[]> samples;
  std::atomic<std::uint32_t> count{0};
  std::atomic<int> xruns{0};
};

struct Match {
  std::size_t span;
  std::size_t matched;
  std::size_t longest;
};

// Walks the captured audio from its first to its last sound, finding each stretch of it in the
// recording at or after the place where the previous stretch ended. A stretch found nowhere (a
// period the test's own server dropped) is skipped.
Match MatchInOrder(const std::vector<std::int16_t>& captured,
                   const std::vector<std::int16_t>& recorded) {
  constexpr std::size_t kWindow = 64;
  const auto sound = [](std::int16_t s) { return s != 0; };
  const auto first = std::find_if(captured.begin(), captured.end(), sound);
  if (first == captured.end()) return {0, 0, 0};
  const auto last = std::find_if(captured.rbegin(), captured.rend(), sound).base();
  Match match{static_cast<std::size_t>(last - first), 0, 0};
  auto from = recorded.begin();
  auto at = first;
  while (last - at >= static_cast<std::ptrdiff_t>(kWindow)) {
    if (std::none_of(at, at + kWindow, sound)) {
      ++at;
      continue;
    }
    auto found = std::search(from, recorded.end(), at, at + kWindow);
    if (found == recorded.end()) {
      at += kWindow;
      continue;
    }
    std::size_t run = 0;
    while (at + run < last && found + run < recorded.end() && at[run] == found[run]) ++run;
    match.matched += run;
    match.longest = std::max(match.longest, run);
    at += run;
    from = found + run;
  }
  return match;
}

// Stops the stream and the recording before the capture client and the server go, also when an
// assertion ends the test early.
struct StreamGuard {
  ~StreamGuard() {
    g_audioStream.Stop();
    if (g_wavRecorder.IsRecording()) g_wavRecorder.Finish();
  }
};

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

TEST(SoundHostJackTest, WhatReachesTheServerIsWhatWasRecorded) {
  CTestJackServer server(44100, kServerFrames);
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;

  Capture capture(server.name);
  ASSERT_TRUE(capture.IsOpen());
  CreateFreshModules();
  g_riffPlayer->Play();
  const std::string wavPath = (std::filesystem::temp_directory_path() /
                               ("quembrel_jack_test_" + std::to_string(getpid()) + ".wav"))
                                  .string();
  StreamGuard guard;
  ASSERT_TRUE(g_wavRecorder.Start(wavPath.c_str()));

  ASSERT_TRUE(g_audioStream.Start(&RenderBlock));
  const char** ports =
      jack_get_ports(capture.GetClient(), "^Quembrel", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
  ASSERT_NE(ports, nullptr);
  const std::string streamPort = ports[0];
  jack_free(ports);
  ASSERT_EQ(jack_connect(capture.GetClient(), streamPort.c_str(), capture.GetPortName().c_str()),
            0);

  const double cpuBefore = ProcessCpuSeconds();
  const auto before = std::chrono::steady_clock::now();
  // Two seconds of the server's frames, however long a loaded machine takes to run them; the limit,
  // within CTest's, only ends a hang.
  while (capture.Count() < 2 * 44100 && std::chrono::steady_clock::now() - before < 45s) {
    g_wavRecorder.Drain();
    std::this_thread::sleep_for(50ms);
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
  const double cpu = ProcessCpuSeconds() - cpuBefore;

  jack_latency_range_t latency{};
  jack_port_get_latency_range(jack_port_by_name(capture.GetClient(), streamPort.c_str()),
                              JackPlaybackLatency, &latency);
  const jack_nframes_t period = jack_get_buffer_size(capture.GetClient());
  g_audioStream.Stop();
  capture.Close();
  ASSERT_TRUE(g_wavRecorder.Finish());
  server.Kill();

  std::printf(
      "server period %u frames (%.1f ms), stream port playback latency %u..%u frames, "
      "process CPU %.2f%% of one core\n",
      period, period * 1000.0 / 44100.0, latency.min, latency.max, 100.0 * cpu / wall);
  const std::vector<std::int16_t> recorded = ReadWavFile(wavPath).samples;
  std::filesystem::remove(wavPath);
  const std::vector<std::int16_t> captured = capture.Samples();
  ASSERT_GT(recorded.size(), 44100u);
  ASSERT_GT(captured.size(), 44100u);
  const Match match = MatchInOrder(captured, recorded);
  const auto sounding =
      std::count_if(captured.begin(), captured.end(), [](std::int16_t s) { return s != 0; });
  EXPECT_GT(sounding, 44100);
  std::printf(
      "captured %zu samples, recorded %zu; of %zu from the first sound to the last, %zu "
      "found in order in the recording, the longest stretch %zu\n",
      captured.size(), recorded.size(), match.span, match.matched, match.longest);
  // The test's server runs without real-time scheduling on a shared machine and may miss a cycle
  // now and then; everything it passes on must be the recording, in order, and only where it
  // missed none must the stream run unbroken for half a second.
  EXPECT_GT(match.span, 44100u);
  EXPECT_GE(match.matched, match.span * 9 / 10);
  if (capture.Xruns() == 0) {
    EXPECT_GE(match.longest, 22050u) << "with no cycle missed";
  }
}

}  // namespace
