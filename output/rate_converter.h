// Turns the engine's 16-bit output at 44100 Hz into float samples at the rate a sound server or a
// plugin host runs at. The engine itself never changes rate: its arithmetic and tables are defined
// at 44100 Hz, so the host's blocks are met by rendering the matching number of engine frames and
// resampling them here. At 44100 Hz the samples are only converted to float.
//
// The resampler is libsamplerate's fastest band-limited sinc interpolator: noise and distortion
// stay about 100 dB below the signal, and it holds back only half its filter, about 0.45 ms at every
// rate. Its input waits in a small queue of its own, since it takes input only as far as the output
// asked for needs. Init primes the queue with silence, just enough that every later call gets
// exactly the frames it asks for; that amount is the added latency, reported in output frames.
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

struct SRC_STATE_tag;

class CRateConverter {
 public:
  static constexpr int kEngineRate = kSampleRate;
  static constexpr int kMinRate = 8000;
  static constexpr int kMaxRate = 384000;

  CRateConverter();
  ~CRateConverter();
  CRateConverter(const CRateConverter&) = delete;
  CRateConverter& operator=(const CRateConverter&) = delete;

  // Ready for output at `outputRate` in calls of at most `maxOutputFrames` frames (1 to 16384).
  // Refuses anything else, or a resampler that cannot be made, returning false; Process then only
  // writes silence.
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
  // (full scale 1.0). A count outside 0..MaxOutputFrames writes nothing and returns false; if the
  // resampler ever falls short the rest of the block is silence and the call is counted.
  bool Process(const std::int16_t* engine, float* output, int outputFrames);
  // Calls that came out short since Init.
  std::int64_t ShortCalls() const { return shortCalls; }

 private:
  void Release();
  void Advance(int outputFrames, int engineFrames);
  // Queues `engineFrames` samples and lets the resampler take what `outputFrames` need; returns
  // the frames it wrote.
  int Resample(const std::int16_t* engine, int engineFrames, float* output, int outputFrames);
  // Init's trial runs on silence: engine frames given (priming included) and output frames made.
  struct ProbeRun {
    std::int64_t given;
    std::int64_t produced;
  };
  // A fresh resampler with `primeFrames` of silence queued and the schedule at its start.
  bool Restart(int primeFrames, ProbeRun& run);
  // Restarts with `primeFrames` of silence and runs the schedule in small and in the largest
  // calls; true when no call came out short.
  bool Primed(int primeFrames, ProbeRun& run);
  // Runs the schedule on silence in calls of `blockFrames`; returns the output frames the calls
  // came out short by, in all.
  std::int64_t Probe(int blockFrames, ProbeRun& run);

  SRC_STATE_tag* resampler;
  // Engine frames, as floats, not yet taken by the resampler: the first `queued` of `queueCapacity`.
  std::unique_ptr<float[]> queue;
  int queued;
  int queueCapacity;
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
  std::int64_t shortCalls;
};
