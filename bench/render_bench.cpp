// Measures the whole output chain as the audio thread runs it: the default riff playing the voice
// through RenderBlock in blocks of 882 frames (20 ms), with the effects in their initial state and
// with a distortion and an echo turned up, and with a recording running. The "realtime" counter is
// seconds of sound rendered per second of wall time, on one core.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "engine/sample_rate.h"
#include "output/block_renderer.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"

namespace {

constexpr int kBlockFrames = 882;

void StartDefaultRiff() {
  StartProgramModules();
  g_distortion.Init();
  g_echoDelay.Init();
  g_riffPlayer->Play();
}

void RenderBlocks(benchmark::State& state, bool recording) {
  std::vector<std::int16_t> block(kBlockFrames);
  std::int64_t frames = 0;
  for (auto _ : state) {
    RenderBlock(block.data(), kBlockFrames * 2);
    if (recording) {
      g_wavRecorder.Drain();
    }
    benchmark::DoNotOptimize(block.data());
    frames += kBlockFrames;
  }
  state.counters["realtime"] =
      benchmark::Counter(static_cast<double>(frames) / kSampleRate, benchmark::Counter::kIsRate);
}

void BM_RenderBlockDefaultRiff(benchmark::State& state) {
  StartDefaultRiff();
  RenderBlocks(state, false);
}
BENCHMARK(BM_RenderBlockDefaultRiff)->UseRealTime();

void BM_RenderBlockWithEffects(benchmark::State& state) {
  StartDefaultRiff();
  g_distortion.SetAmount(30.0f);
  g_echoDelay.SetDelayTime(250.0f);
  g_echoDelay.SetFeedback(0.6f);
  RenderBlocks(state, false);
}
BENCHMARK(BM_RenderBlockWithEffects)->UseRealTime();

void BM_RenderBlockRecording(benchmark::State& state) {
  StartDefaultRiff();
  g_wavRecorder.Start("/dev/null");
  RenderBlocks(state, true);
  g_wavRecorder.Finish();
}
BENCHMARK(BM_RenderBlockRecording)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
