// Engine-rate to device-rate conversion over libsoxr; see rate_converter.h.
#include "output/rate_converter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

// Output long enough to pass through every pattern of the resampler's internal blocks.
constexpr int kProbeSeconds = 1;
// Besides the largest calls, the schedule is tried with small ones, as a plugin host may send them.
constexpr int kSmallProbeFrames = 16;
constexpr int kMaxPrimeFrames = 1 << 15;

soxr_t CreateResampler(int outputRate) {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_FLOAT32_I);
  // The variable-rate engine at 16-bit accuracy: one polyphase stage whose delay is about 5.5 ms at
  // every rate. The fixed-rate recipes build several stages whose blocks hold back 11 to 60 ms at
  // many rates, and the low-quality one leaves a spike of -28 dB every 160 frames at 48000 Hz.
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, SOXR_VR);
  // One thread: the library would otherwise start a pool of its own inside the audio callback.
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t error = nullptr;
  soxr_t resampler = soxr_create(CRateConverter::kEngineRate, outputRate, 1, &error, &io, &quality,
                                 &runtime);
  if (error == nullptr) error = soxr_set_io_ratio(resampler, static_cast<double>(CRateConverter::kEngineRate) / outputRate, 0);
  if (error != nullptr) {
    if (resampler != nullptr) soxr_delete(resampler);
    return nullptr;
  }
  return resampler;
}

// Runs the schedule on silence after priming with `primeFrames` engine frames and returns the
// largest number of output frames any call came out short by (-1 if no resampler could be made).
// Before priming, a burst of silence much longer than any call goes through at once: the library's
// buffers grow to hold it and never need to grow again while the calls run on schedule.
// With `keep` the resampler is handed back instead of deleted, with how far its output lags the
// engine frames it has been given (in output frames) and where the schedule stands.
struct KeptResampler {
  soxr_t resampler = nullptr;
  double lagFrames = 0.0;
  std::int64_t outputDone = 0;
  std::int64_t engineDone = 0;
};

int Shortfall(int outputRate, int primeFrames, int blockFrames, KeptResampler* keep) {
  soxr_t resampler = CreateResampler(outputRate);
  if (resampler == nullptr) return -1;
  const std::int64_t g = std::gcd(CRateConverter::kEngineRate, outputRate);
  const std::int64_t ratioEngine = CRateConverter::kEngineRate / g;
  const std::int64_t ratioOutput = outputRate / g;
  const std::int64_t callEngineFrames = blockFrames * ratioEngine / ratioOutput + 2;
  const std::int64_t burst = 4 * callEngineFrames + 8192;
  std::vector<std::int16_t> silence(burst + primeFrames, 0);
  std::vector<float> output(burst * ratioOutput / ratioEngine + 1);
  std::size_t burstOut = 0;
  soxr_process(resampler, silence.data(), burst, nullptr, output.data(), output.size(), &burstOut);
  soxr_process(resampler, silence.data(), primeFrames, nullptr, output.data(), 0, nullptr);
  int worst = 0;
  std::int64_t engineDone = 0;
  std::int64_t outputDone = 0;
  while (outputDone < std::int64_t{kProbeSeconds} * outputRate) {
    outputDone += blockFrames;
    const std::int64_t engineFrames = outputDone * ratioEngine / ratioOutput - engineDone;
    engineDone += engineFrames;
    std::size_t done = 0;
    soxr_process(resampler, silence.data(), engineFrames, nullptr, output.data(), blockFrames, &done);
    worst = std::max(worst, blockFrames - static_cast<int>(done));
  }
  if (keep != nullptr) {
    const double given = static_cast<double>(burst + primeFrames + engineDone);
    *keep = {resampler, given * outputRate / CRateConverter::kEngineRate - burstOut - outputDone,
             outputDone, engineDone};
  } else {
    soxr_delete(resampler);
  }
  return worst;
}

}  // namespace

CRateConverter::CRateConverter()
    : resampler(nullptr),
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
  if (resampler != nullptr) soxr_delete(resampler);
  resampler = nullptr;
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
  if (rate != kEngineRate) {
    // How far the resampler lags the schedule with no priming at all, then priming that covers it
    // with a little room, checked at both call sizes and doubled until no call comes out short.
    const int lag = std::max(Shortfall(rate, 0, maxFrames, nullptr),
                             Shortfall(rate, 0, kSmallProbeFrames, nullptr));
    if (lag < 0) return false;
    int prime = static_cast<int>((std::int64_t{lag} + 1) * kEngineRate / rate) + 2;
    while (Shortfall(rate, prime, maxFrames, nullptr) != 0 ||
           Shortfall(rate, prime, kSmallProbeFrames, nullptr) != 0) {
      prime *= 2;
      if (prime > kMaxPrimeFrames) return false;
    }
    // The instance used from now on went through the same run, so its buffers already have the
    // size the schedule needs and Process never grows them. Its schedule goes on from that run.
    KeptResampler kept;
    if (Shortfall(rate, prime, maxFrames, &kept) != 0) {
      if (kept.resampler != nullptr) soxr_delete(kept.resampler);
      return false;
    }
    resampler = kept.resampler;
    outputDone = kept.outputDone;
    engineDone = kept.engineDone;
    latencyFrames = static_cast<int>(std::lround(kept.lagFrames));
  }
  outputRate = rate;
  maxOutputFrames = maxFrames;
  ratioEngine = kEngineRate / g;
  ratioOutput = rate / g;
  Advance(0, 0);
  maxEngineFrames = static_cast<int>(std::int64_t{maxFrames} * ratioEngine / ratioOutput) + 1;
  return true;
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

bool CRateConverter::Process(const std::int16_t* engine, float* output, int outputFrames) {
  if (outputRate == 0 || outputFrames < 0 || outputFrames > maxOutputFrames) return false;
  const int engineFrames = EngineFramesFor(outputFrames);
  if (resampler == nullptr) {
    for (int i = 0; i < outputFrames; ++i) output[i] = static_cast<float>(engine[i]) * (1.0f / 32768.0f);
    Advance(outputFrames, engineFrames);
    return true;
  }
  // A null input tells the library the stream has ended, so an empty call still passes a pointer.
  static const std::int16_t kNothing = 0;
  std::size_t done = 0;
  soxr_process(resampler, engineFrames > 0 ? engine : &kNothing, engineFrames, nullptr, output,
               outputFrames, &done);
  if (static_cast<int>(done) < outputFrames) {
    std::fill(output + done, output + outputFrames, 0.0f);
    ++shortCalls;
  }
  Advance(outputFrames, engineFrames);
  return true;
}
