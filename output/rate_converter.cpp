// Engine-rate to device-rate conversion over libsamplerate; see rate_converter.h.
#include "output/rate_converter.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

// Besides the largest calls, the priming is tried with small ones, as a plugin host may send them.
constexpr int kSmallProbeFrames = 16;
// Far more than the filter could ever hold back.
constexpr int kMaxPrimeFrames = 1 << 12;
constexpr int kPrimeMarginFrames = 2;

}  // namespace

CRateConverter::CRateConverter()
    : resampler(nullptr),
      queued(0),
      queueCapacity(0),
      outputRate(0),
      maxOutputFrames(0),
      maxEngineFrames(0),
      latencyFrames(0),
      ratioEngine(1),
      ratioOutput(1),
      outputDone(0),
      engineDone(0),
      shortCalls(0) {}

CRateConverter::~CRateConverter() { Release(); }

void CRateConverter::Release() {
  if (resampler != nullptr) src_delete(resampler);
  resampler = nullptr;
  queue.reset();
  queued = 0;
  queueCapacity = 0;
  outputRate = 0;
  maxOutputFrames = 0;
  maxEngineFrames = 0;
  latencyFrames = 0;
  ratioEngine = 1;
  ratioOutput = 1;
  outputDone = 0;
  engineDone = 0;
  shortCalls = 0;
}

bool CRateConverter::Init(int rate, int maxFrames) {
  Release();
  if (rate < kMinRate || rate > kMaxRate || maxFrames < 1 || maxFrames > 16384) return false;
  const std::int64_t g = std::gcd(kEngineRate, rate);
  outputRate = rate;
  maxOutputFrames = maxFrames;
  ratioEngine = kEngineRate / g;
  ratioOutput = rate / g;
  maxEngineFrames = static_cast<int>(std::int64_t{maxFrames} * ratioEngine / ratioOutput) + 1;
  if (rate == kEngineRate) return true;

  queueCapacity = kMaxPrimeFrames + kPrimeMarginFrames + maxEngineFrames;
  queue = std::make_unique<float[]>(queueCapacity);
  // Unprimed, the calls come out short, in all, by what the resampler holds back. Priming with
  // that much silence is then tried at both call sizes, and grown until no call comes out short;
  // a little more covers call patterns the trial runs did not meet. The instance used from now on
  // is the one that passed last, its schedule going on from there.
  ProbeRun run;
  if (!Restart(0, run)) {
    Release();
    return false;
  }
  int prime = static_cast<int>((Probe(maxFrames, run) * kEngineRate + rate - 1) / rate);
  while (!Primed(prime, run)) {
    prime += 2;
    if (prime > kMaxPrimeFrames) {
      Release();
      return false;
    }
  }
  if (!Primed(prime + kPrimeMarginFrames, run)) {
    Release();
    return false;
  }
  latencyFrames = static_cast<int>(std::lround(static_cast<double>(run.given) * rate / kEngineRate -
                                               static_cast<double>(run.produced)));
  shortCalls = 0;
  return true;
}

bool CRateConverter::Restart(int primeFrames, ProbeRun& run) {
  if (resampler != nullptr) src_delete(resampler);
  int error = 0;
  resampler = src_new(SRC_SINC_FASTEST, 1, &error);
  if (resampler == nullptr) return false;
  std::fill_n(queue.get(), primeFrames, 0.0f);
  queued = primeFrames;
  outputDone = 0;
  engineDone = 0;
  run = ProbeRun{primeFrames, 0};
  return true;
}

bool CRateConverter::Primed(int primeFrames, ProbeRun& run) {
  return Restart(primeFrames, run) && Probe(kSmallProbeFrames, run) == 0 && Probe(maxOutputFrames, run) == 0;
}

std::int64_t CRateConverter::Probe(int blockFrames, ProbeRun& run) {
  const std::vector<std::int16_t> silence(maxEngineFrames, 0);
  std::vector<float> output(blockFrames);
  // Long enough to pass through every pattern of the schedule's call sizes.
  const std::int64_t length = std::max({std::int64_t{outputRate} / 4, ratioOutput, std::int64_t{maxOutputFrames} * 4});
  std::int64_t missing = 0;
  for (std::int64_t done = 0; done < length; done += blockFrames) {
    const int engineFrames = EngineFramesFor(blockFrames);
    const int produced = Resample(silence.data(), engineFrames, output.data(), blockFrames);
    missing += blockFrames - produced;
    run.given += engineFrames;
    run.produced += produced;
    Advance(blockFrames, engineFrames);
  }
  return missing;
}

int CRateConverter::EngineFramesFor(int outputFrames) const {
  if (outputFrames < 0 || outputFrames > maxOutputFrames) return 0;
  return static_cast<int>((outputDone + outputFrames) * ratioEngine / ratioOutput - engineDone);
}

int CRateConverter::EngineOffsetFor(int outputOffset) const {
  return EngineFramesFor(std::clamp(outputOffset, 0, maxOutputFrames));
}

void CRateConverter::Advance(int outputFrames, int engineFrames) {
  outputDone += outputFrames;
  engineDone += engineFrames;
  const std::int64_t periods = outputDone / ratioOutput;
  outputDone -= periods * ratioOutput;
  engineDone -= periods * ratioEngine;
}

int CRateConverter::Resample(const std::int16_t* engine, int engineFrames, float* output, int outputFrames) {
  // On schedule the queue never holds more than the priming and one call's frames; anything beyond
  // its room could only come from a broken schedule and is left out rather than written past it.
  const int taken = std::min(engineFrames, queueCapacity - queued);
  for (int i = 0; i < taken; ++i) queue[queued + i] = static_cast<float>(engine[i]) * (1.0f / 32768.0f);
  queued += taken;
  SRC_DATA data{};
  data.data_in = queue.get();
  data.input_frames = queued;
  data.data_out = output;
  data.output_frames = outputFrames;
  data.src_ratio = static_cast<double>(outputRate) / kEngineRate;
  if (src_process(resampler, &data) != 0) return 0;
  const int used = static_cast<int>(data.input_frames_used);
  std::copy(queue.get() + used, queue.get() + queued, queue.get());
  queued -= used;
  return static_cast<int>(data.output_frames_gen);
}

bool CRateConverter::Process(const std::int16_t* engine, float* output, int outputFrames) {
  if (outputRate == 0 || outputFrames < 0 || outputFrames > maxOutputFrames) return false;
  const int engineFrames = EngineFramesFor(outputFrames);
  if (resampler == nullptr) {
    for (int i = 0; i < outputFrames; ++i) output[i] = static_cast<float>(engine[i]) * (1.0f / 32768.0f);
    Advance(outputFrames, engineFrames);
    return true;
  }
  const int produced = Resample(engine, engineFrames, output, outputFrames);
  if (produced < outputFrames) {
    std::fill(output + produced, output + outputFrames, 0.0f);
    ++shortCalls;
  }
  Advance(outputFrames, engineFrames);
  return true;
}
