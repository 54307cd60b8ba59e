// Measures what the audio thread costs while the default riff plays: the real audio stream and
// block renderer over the scripted sound device, whose play position advances in real time, for
// five seconds. Reports the thread's share of one core and its real-time factor (seconds of sound
// per second of the thread's CPU time).
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "platform/sound/audio_stream.h"
#include "output/block_renderer.h"
#include "platform/sound/sound_fake_layer.h"
#include "sequencer/riff_player.h"

namespace {

void AudioThreadWhileTheDefaultRiffPlays(benchmark::State& state) {
  StartProgramModules();
  g_riffPlayer->Play();
  for (auto _ : state) {
    CFakeSoundLayer fake;
    fake.SetPositionMode(FakePositionMode::kRealTime);
    g_audioStream.SetSoundLayer(&fake);
    const auto start = std::chrono::steady_clock::now();
    if (!g_audioStream.Start(&RenderBlock)) {
      state.SkipWithError("the stream did not start");
      break;
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));
    g_audioStream.Stop();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = std::chrono::duration<double>(fake.GetThreadCpuTime()).count();
    state.SetIterationTime(wall);
    state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
    state.counters["real_time_factor"] = cpu > 0.0 ? wall / cpu : 0.0;
  }
  g_audioStream.SetSoundLayer(nullptr);
}

}  // namespace

BENCHMARK(AudioThreadWhileTheDefaultRiffPlays)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
