// Measures the LV2 plugin as a host runs it, loaded through lilv from the build tree: the default
// riff playing on its own clock, in 512-frame blocks, at the engine's rate and at 48000 and 96000 Hz
// (resampled). The "realtime" counter is seconds of sound rendered per second of CPU time.
// Run it with LV2_PATH=build/lv2.
#include <benchmark/benchmark.h>

#include <vector>

#include "tests/plugin/lv2_test_host.h"

namespace {

constexpr int kBlockFrames = 512;

void BM_PluginDefaultRiff(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  CLv2TestHost host;
  if (host.Plugin() == nullptr) {
    state.SkipWithError("the bundle is not on LV2_PATH");
    return;
  }
  CLv2TestInstance instance(host, rate);
  instance.Control("Play") = 1.0f;
  instance.Control("FollowHost") = 0.0f;
  std::vector<float> out(kBlockFrames);
  instance.FillEvents({});
  lilv_instance_connect_port(instance.Instance(), kAudioOutPort, out.data());
  std::int64_t frames = 0;
  for (auto _ : state) {
    lilv_instance_run(instance.Instance(), kBlockFrames);
    benchmark::DoNotOptimize(out.data());
    frames += kBlockFrames;
  }
  state.counters["realtime"] = benchmark::Counter(static_cast<double>(frames) / rate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PluginDefaultRiff)->Arg(44100)->Arg(48000)->Arg(96000);

}  // namespace

BENCHMARK_MAIN();
