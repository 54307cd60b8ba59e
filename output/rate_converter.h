// Turns the engine's 16-bit output at 44100 Hz into float samples at the rate a sound server or a
// plugin host runs at. The engine itself never changes rate: its arithmetic and tables are defined
// at 44100 Hz, so the host's blocks are met by rendering the matching number of engine frames and
// resampling them here. At 44100 Hz the samples are only converted to float.
//
// The resampler is a polyphase FIR made for the one fixed ratio: a Kaiser-windowed sinc computed at
// Init, one row of taps per output phase. A ratio with more phases than the table holds (an odd
// rate such as 44056 Hz) is served by interpolating linearly between the rows of a finer table.
// The filter keeps noise and distortion more than 90 dB below a sine, is flat to 18 kHz at 48000 Hz
// and up, and delays by a fixed number of engine frames, under 1 ms at every rate from 22050 Hz up.
// Each output frame takes its window from the engine frames already given, so every call makes
// exactly the frames asked for. When the window of a whole call is silent the output is zeros,
// written without computing them; the sums would be exactly zero too. The output is held to
// [-1, 1], which a sinc would overshoot on the engine's clipped signal.
//
// The number of engine frames per call follows one running schedule: after n output frames in all,
// floor(n x 44100 / rate) engine frames have been consumed. An event stamped at an output frame is
// mapped through the same schedule to the engine frame that is heard there, so the block can be cut
// at the event and its timing stays exact.
//
// Init allocates everything; Process allocates nothing and never waits, so it runs in a sound
// server's callback. One thread calls Process (and the queries), after Init has returned.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/sample_rate.h"

class CRateConverter {
 public:
  static constexpr int kEngineRate = kSampleRate;
  static constexpr int kMinRate = 8000;
  static constexpr int kMaxRate = 384000;

  CRateConverter();
  CRateConverter(const CRateConverter&) = delete;
  CRateConverter& operator=(const CRateConverter&) = delete;

  // Ready for output at `outputRate` in calls of at most `maxOutputFrames` frames (1 to 16384).
  // Refuses anything else, returning false; Process then only writes silence.
  bool Init(int outputRate, int maxOutputFrames);

  int OutputRate() const { return outputRate; }
  int MaxOutputFrames() const { return maxOutputFrames; }
  // The most engine frames one call can consume: the size of the caller's engine buffer.
  int MaxEngineFrames() const { return maxEngineFrames; }
  // Output frames between an engine frame being rendered and it being heard, beyond the mapping
  // EngineOffsetFor makes: 0 at 44100 Hz.
  int LatencyFrames() const { return latencyFrames; }

  // How many engine frames the next Process call of `outputFrames` frames consumes (0 for a count
  // outside 0..MaxOutputFrames).
  int EngineFramesFor(int outputFrames) const;
  // Which of those engine frames lines up with output frame `outputOffset` of the same call: an event
  // stamped there takes effect at this engine frame. Offsets are clamped to the call.
  int EngineOffsetFor(int outputOffset) const;

  // Consumes EngineFramesFor(outputFrames) samples from `engine` and writes `outputFrames` floats
  // (full scale 1.0, never beyond). A count outside 0..MaxOutputFrames writes nothing and returns
  // false.
  bool Process(const std::int16_t* engine, float* output, int outputFrames);

 private:
  void Advance(int outputFrames, int engineFrames);
  // Fills the taps' rows for `phases` phases evenly spread over one engine frame (plus the row at a
  // whole frame when `withEnd`), for a filter of `halfFrames` engine frames on either side.
  void MakeTaps(int phases, bool withEnd, int halfFrames);
  // Writes `outputFrames` frames from the window in `history`, the call's phase starting at `phase`.
  void Filter(float* output, int outputFrames, std::int64_t phase) const;

  int outputRate;
  int maxOutputFrames;
  int maxEngineFrames;
  int latencyFrames;
  // The schedule, reduced to the rate ratio's period so it never overflows: engine frames per
  // output frame are ratioEngine / ratioOutput.
  std::int64_t ratioEngine;
  std::int64_t ratioOutput;
  std::int64_t outputDone;
  std::int64_t engineDone;
  // Taps per output frame (a multiple of 8, the oldest ones zero where the filter is shorter) and
  // the rows of the table: one per phase, or `tableRows` + 1 interpolated between when the ratio
  // has more phases than the table holds.
  int taps;
  int tableRows;
  bool interpolated;
  std::unique_ptr<float[]> table;
  // The last `taps` engine frames before the call, then the call's own, as floats.
  std::unique_ptr<float[]> history;
  // How many of the latest engine frames were zero, up to `taps`: at `taps` the window is silent.
  int silentFrames;
};
