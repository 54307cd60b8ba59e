// Engine-rate to device-rate conversion by a polyphase FIR; see rate_converter.h.
#include "output/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

// Engine frames on either side of the filter's centre: 24 above 44100 Hz, a delay of 25 frames
// (0.57 ms). Below 44100 Hz the filter widens with the ratio, to 43 at 22050 Hz, where its delay of
// one frame more is just within 1 ms (22 output frames); lower rates need still longer filters.
constexpr int kHalfFrames = 24;
constexpr double kHalfFramesAtOutputRate = 21.5;
// The cutoff at 95 % of the lower rate's Nyquist frequency, and a Kaiser window whose side lobes
// stay about 95 dB down: above 44100 Hz the passband, flat within 0.001 dB, ends near 18.2 kHz.
constexpr double kCutoff = 0.95;
constexpr double kKaiserBeta = 9.5;
// Ratios with at most this many phases get one row each; others interpolate between the rows of a
// table this fine.
constexpr int kMaxPhases = 4096;
constexpr int kInterpolatedRows = 1024;
constexpr int kTapGroup = 8;

double Sinc(double x) { return x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x); }

// The dot product of `taps` (a multiple of kTapGroup) coefficients with as many samples, in
// kTapGroup sums so that the compiler can keep them in vector registers.
float Dot(const float* coefficients, const float* samples, int taps) {
  float sums[kTapGroup] = {};
  for (int i = 0; i < taps; i += kTapGroup) {
    for (int j = 0; j < kTapGroup; ++j) sums[j] += coefficients[i + j] * samples[i + j];
  }
  return ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}

}  // namespace

CRateConverter::CRateConverter()
    : outputRate(0),
      maxOutputFrames(0),
      maxEngineFrames(0),
      latencyFrames(0),
      ratioEngine(1),
      ratioOutput(1),
      outputDone(0),
      engineDone(0),
      taps(0),
      tableRows(0),
      interpolated(false),
      silentFrames(0) {}

bool CRateConverter::Init(int rate, int maxFrames) {
  outputRate = 0;
  maxOutputFrames = 0;
  maxEngineFrames = 0;
  latencyFrames = 0;
  ratioEngine = 1;
  ratioOutput = 1;
  outputDone = 0;
  engineDone = 0;
  taps = 0;
  tableRows = 0;
  interpolated = false;
  table.reset();
  history.reset();
  silentFrames = 0;
  if (rate < kMinRate || rate > kMaxRate || maxFrames < 1 || maxFrames > 16384) return false;
  const std::int64_t g = std::gcd(kEngineRate, rate);
  outputRate = rate;
  maxOutputFrames = maxFrames;
  ratioEngine = kEngineRate / g;
  ratioOutput = rate / g;
  maxEngineFrames = static_cast<int>(std::int64_t{maxFrames} * ratioEngine / ratioOutput) + 1;
  if (rate == kEngineRate) return true;

  const int halfFrames =
      std::max(kHalfFrames, static_cast<int>(std::ceil(kHalfFramesAtOutputRate * kEngineRate / rate)));
  taps = (2 * halfFrames + kTapGroup - 1) / kTapGroup * kTapGroup;
  interpolated = ratioOutput > kMaxPhases;
  tableRows = interpolated ? kInterpolatedRows : static_cast<int>(ratioOutput);
  MakeTaps(tableRows, interpolated, halfFrames);
  history = std::make_unique<float[]>(static_cast<std::size_t>(taps + maxEngineFrames));
  std::fill_n(history.get(), taps + maxEngineFrames, 0.0f);
  silentFrames = taps;
  // An output frame at engine time t is the filter's centre placed halfFrames + 1 frames back, so
  // that its newest tap is always a frame already given.
  latencyFrames = static_cast<int>(std::lround(static_cast<double>(halfFrames + 1) * rate / kEngineRate));
  return true;
}

void CRateConverter::MakeTaps(int phases, bool withEnd, int halfFrames) {
  const int rows = phases + (withEnd ? 1 : 0);
  table = std::make_unique<float[]>(static_cast<std::size_t>(rows) * taps);
  const double band = kCutoff * std::min(kEngineRate, outputRate) / kEngineRate;
  const double windowScale = 1.0 / std::cyl_bessel_i(0.0, kKaiserBeta);
  std::vector<double> values(static_cast<std::size_t>(taps));
  for (int row = 0; row < rows; ++row) {
    const double phase = static_cast<double>(row) / phases;
    float* coefficients = table.get() + static_cast<std::size_t>(row) * taps;
    // Tap m multiplies the engine frame taps - 1 - m frames before the newest one in the window;
    // its distance from the filter's centre is phase + halfFrames - 1 - (m - padding).
    const int padding = taps - 2 * halfFrames;
    double sum = 0.0;
    for (int m = 0; m < taps; ++m) {
      values[m] = 0.0;
      if (m < padding) continue;
      const double t = phase + halfFrames - 1 - (m - padding);
      const double x = t / halfFrames;
      if (x <= -1.0 || x >= 1.0) continue;
      values[m] = band * Sinc(band * t) * std::cyl_bessel_i(0.0, kKaiserBeta * std::sqrt(1.0 - x * x)) * windowScale;
      sum += values[m];
    }
    // Each phase passes a constant exactly as it is.
    for (int m = 0; m < taps; ++m) coefficients[m] = static_cast<float>(values[m] / sum);
  }
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

void CRateConverter::Filter(float* output, int outputFrames, std::int64_t phase) const {
  const float* window = history.get();
  const float* rows = table.get();
  const int width = taps;
  const std::int64_t period = ratioOutput;
  // Each output frame moves the window by the ratio's whole engine frames and the phase by the
  // rest, so the loop needs no division.
  const std::int64_t wholeStep = ratioEngine / period;
  const std::int64_t phaseStep = ratioEngine % period;
  if (!interpolated) {
    for (int i = 0; i < outputFrames; ++i) {
      const float y = Dot(rows + phase * width, window, width);
      output[i] = std::clamp(y, -1.0f, 1.0f);
      window += wholeStep;
      phase += phaseStep;
      if (phase >= period) {
        phase -= period;
        ++window;
      }
    }
    return;
  }
  const double toRows = static_cast<double>(tableRows) / static_cast<double>(period);
  for (int i = 0; i < outputFrames; ++i) {
    const double at = static_cast<double>(phase) * toRows;
    const int row = std::min(static_cast<int>(at), tableRows - 1);
    const float weight = static_cast<float>(at - row);
    const float before = Dot(rows + static_cast<std::size_t>(row) * width, window, width);
    const float after = Dot(rows + static_cast<std::size_t>(row + 1) * width, window, width);
    output[i] = std::clamp(before + weight * (after - before), -1.0f, 1.0f);
    window += wholeStep;
    phase += phaseStep;
    if (phase >= period) {
      phase -= period;
      ++window;
    }
  }
}

bool CRateConverter::Process(const std::int16_t* engine, float* output, int outputFrames) {
  if (outputRate == 0 || outputFrames < 0 || outputFrames > maxOutputFrames) return false;
  const int engineFrames = EngineFramesFor(outputFrames);
  if (taps == 0) {
    for (int i = 0; i < outputFrames; ++i) output[i] = static_cast<float>(engine[i]) * (1.0f / 32768.0f);
    Advance(outputFrames, engineFrames);
    return true;
  }
  int trailingZeros = 0;
  while (trailingZeros < engineFrames && engine[engineFrames - 1 - trailingZeros] == 0) ++trailingZeros;
  if (trailingZeros == engineFrames && silentFrames == taps) {
    // The window holds zeros throughout and keeps holding them: every sum is exactly +0.
    std::fill_n(output, outputFrames, 0.0f);
    Advance(outputFrames, engineFrames);
    return true;
  }
  float* window = history.get();
  for (int i = 0; i < engineFrames; ++i) window[taps + i] = static_cast<float>(engine[i]) * (1.0f / 32768.0f);
  Filter(output, outputFrames, outputDone * ratioEngine % ratioOutput);
  std::copy(window + engineFrames, window + engineFrames + taps, window);
  silentFrames = trailingZeros == engineFrames ? std::min(taps, silentFrames + engineFrames)
                                               : std::min(taps, trailingZeros);
  Advance(outputFrames, engineFrames);
  return true;
}
