// The feedback delay applied after the distortion: each output is the input plus `feedback` times
// the output of `delayFrames` frames earlier, kept in a ring of the last 32768 outputs, so every
// echo is fed back again. A delay of 0 frames reads the slot about to be overwritten and so gives
// the longest echo, 32768 frames (0.743 s), the same as 744 ms and more.
//
// The UI thread sets the time and the gain while the audio thread processes: both are atomics,
// read once at the start of each run. The ring and the write position belong to the audio thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/stereo_frame.h"

class CEchoDelay {
 public:
  static constexpr std::uint32_t kRingFrames = 32768;

  CEchoDelay();
  CEchoDelay(const CEchoDelay&) = delete;
  CEchoDelay& operator=(const CEchoDelay&) = delete;

  void Init();
  void SetFeedback(float v);
  void SetDelayTime(float ms);
  float GetFeedback() const;
  float GetTimeMs() const;
  std::uint32_t GetDelayFrames() const;
  // Audio thread only (or a caller that owns the delay, such as a test).
  std::uint32_t GetWriteIndex() const;
  void Process(StereoFrame* frames, int n);

 private:
  std::atomic<float> feedback;
  std::atomic<float> timeMs;
  std::atomic<std::uint32_t> delayFrames;
  std::uint32_t writeIndex;
  StereoFrame ring[kRingFrames];
};

// The program's chain's delay (see block_renderer.h).
extern CEchoDelay& g_echoDelay;
