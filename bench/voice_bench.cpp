// How fast the voice renders a held note with every modulation running: both LFOs on detune, pulse
// and volume, oscillator sync on, the sub-oscillator mixed in and the filter sweeping. Reports
// frames per second and the real-time factor (frames per second / 44100) per core: the rates are
// taken over CPU time, so other load on the machine does not distort them.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/sample_rate.h"
#include "engine/synth_voice.h"

namespace {

void BM_VoiceHeldNoteAllModulation(benchmark::State& state) {
  const int blockFrames = static_cast<int>(state.range(0));
  CSynthVoice voice;
  voice.Init();
  voice.SetParam(kAmpSustain, 0);
  voice.SetParam(kFltSustain, 0);
  voice.SetParam(kFltEnvAmount, 100);
  voice.SetParam(kOscSync, 1);
  voice.SetParam(kOscAWave, kSaw);
  voice.SetParam(kOscBTune, 7);
  voice.SetParam(kSubLevel, 50);
  const int allTargets = kTargetDetune | kTargetPulse | kTargetVolume;
  voice.SetParam(kLfo1Targets, allTargets);
  voice.SetParam(kLfo2Targets, allTargets);
  voice.SetParam(kLfo1Rate, 200);
  voice.SetParam(kLfo2Rate, 150);
  voice.SetParam(kLfo1Amount, 20);
  voice.SetParam(kLfo2Amount, 30);
  voice.NoteOn();
  std::vector<StereoFrame> frames(blockFrames);
  for (auto _ : state) {
    voice.Render(frames.data(), blockFrames);
    benchmark::DoNotOptimize(frames.data());
    benchmark::ClobberMemory();
  }
  const double total = static_cast<double>(state.iterations()) * blockFrames;
  state.counters["frames/s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
  state.counters["realtime_x"] = benchmark::Counter(total / kSampleRate, benchmark::Counter::kIsRate);
}

// 882 frames is one 20 ms device refill; 4096 the largest block.
BENCHMARK(BM_VoiceHeldNoteAllModulation)->Arg(882)->Arg(4096);

}  // namespace

BENCHMARK_MAIN();
