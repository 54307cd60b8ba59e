// The memory of a looping buffer on the host: the samples that the sound server's callback plays
// round and round, its play position, and a staging copy that Lock hands out to the audio thread.
//
// Two threads share it without a lock. The audio thread writes into the staging copy, which only
// it touches, and Commit copies the committed regions into the loop with relaxed atomic stores.
// The server's callback reads the loop with relaxed atomic loads and advances the play position,
// which is kept in whole samples. A sample read while it is being committed is either the old or
// the new value, never a torn one; the stream writes only behind the play position anyway.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/sound/sound_buffer.h"

class CSoundRing {
 public:
  CSoundRing();
  CSoundRing(const CSoundRing&) = delete;
  CSoundRing& operator=(const CSoundRing&) = delete;

  // Before playback starts. A whole, non-zero number of samples; false otherwise.
  bool Allocate(std::uint32_t byteCount);
  std::uint32_t GetByteCount() const;

  // Audio thread. The range must start on a sample inside the loop and span 1 to all samples.
  bool Lock(std::uint32_t offset, std::uint32_t byteCount, SoundRegion* first, SoundRegion* second);
  // Audio thread. Regions not handed out by Lock are ignored.
  void Commit(const SoundRegion& first, const SoundRegion& second);

  // Server callback: the next frames of the loop, as they are or scaled to -1..1.
  void Pull(std::int16_t* out, std::uint32_t frames);
  void PullFloat(float* out, std::uint32_t frames);
  // In bytes, always on a whole sample.
  std::uint32_t GetPlayPosition() const;

 private:
  using AtomicSample = std::atomic<std::int16_t>;
  static_assert(AtomicSample::is_always_lock_free);

  void CommitRegion(const SoundRegion& region);
  template <typename Sample, typename Convert>
  void PullInto(Sample* out, std::uint32_t frames, Convert convert);

  std::unique_ptr<AtomicSample[]> samples;
  std::unique_ptr<std::int16_t[]> staging;
  std::uint32_t sampleCount;
  std::atomic<std::uint32_t> playFrame;
};
