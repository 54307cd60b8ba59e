// The rate converter's cost: one period of a sound server's callback converted from the engine's
// 44100 Hz to the server's rate. cpu_percent_of_one_core is the thread's CPU time per second of
// audio converted, so it does not depend on what else the machine runs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <vector>

#include "output/rate_converter.h"

static double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

static void BM_ConvertPeriod(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const int period = static_cast<int>(state.range(1));
  CRateConverter converter;
  if (!converter.Init(rate, period)) {
    state.SkipWithError("refused");
    return;
  }
  std::vector<std::int16_t> engine(converter.MaxEngineFrames());
  for (std::size_t i = 0; i < engine.size(); ++i) {
    engine[i] = static_cast<std::int16_t>(12000.0 * std::sin(0.0627 * static_cast<double>(i)));
  }
  std::vector<float> output(period);
  const double cpuStart = ThreadCpuSeconds();
  for (auto _ : state) {
    converter.Process(engine.data(), output.data(), period);
    benchmark::DoNotOptimize(output.data());
  }
  const double audioSeconds = static_cast<double>(state.iterations()) * period / rate;
  state.counters["cpu_percent_of_one_core"] = 100.0 * (ThreadCpuSeconds() - cpuStart) / audioSeconds;
}
BENCHMARK(BM_ConvertPeriod)->Args({48000, 128})->Args({48000, 256})->Args({96000, 256})
    ->Args({88200, 256})->Args({44100, 256});

BENCHMARK_MAIN();
