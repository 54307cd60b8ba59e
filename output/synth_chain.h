// One complete sound chain: the riff player playing the voice, the waveshaper, the delay, the
// conversion to 16-bit samples and, when one is given, the recorder. Each chain has its own state,
// so a host may make as many as it likes in one process (a plugin host makes one per instance); the
// program's own chain is the one the process-wide objects name (see block_renderer.h). The
// wavetables and LFO rates stay shared: they are built once, by whichever chain starts first.
//
// Threads: StartModules and StopModules run while nothing renders. Render runs on one rendering
// thread at a time; the voice, the riff player and the effects take their settings from any thread
// as they always do.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/stereo_frame.h"
#include "engine/synth_voice.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "sequencer/riff_player.h"

class CWavRecorder;

// The most frames one pass through the chain handles; longer requests are cut into such passes.
inline constexpr int kMixBufferFrames = 4096;

class CSynthChain {
 public:
  // recorder may be null: the chain then records nothing.
  explicit CSynthChain(CWavRecorder* recorder = nullptr);
  CSynthChain(const CSynthChain&) = delete;
  CSynthChain& operator=(const CSynthChain&) = delete;

  // The start-up every host of the chain makes: the voice and the riff player initialised to their
  // defaults, the voice attached to the riff player, its base pitch at 440 Hz. The effects keep the
  // state they have. Until it is called the chain renders silence (still recorded).
  void StartModules();
  // Back to silence, as before StartModules.
  void StopModules();

  // Passes one of the voice's post-process parameters (distortion amount, delay time, delay
  // feedback) on to this chain's effects; any other index is ignored.
  void ApplyPostProcessParam(int index, int value);

  // Fills count samples (none when count is 0 or less). Rendering thread only.
  void Render(std::int16_t* samples, int count);

  constexpr CSynthVoice& Voice() { return voice; }
  constexpr CRiffPlayer& RiffPlayer() { return riffPlayer; }
  constexpr CDistortion& Distortion() { return distortion; }
  constexpr CEchoDelay& EchoDelay() { return echoDelay; }
  constexpr StereoFrame (&MixBuffer())[kMixBufferFrames] { return mixBuffer; }

 private:
  void RenderFrames(std::int16_t* samples, int n);

  CSynthVoice voice;
  CRiffPlayer riffPlayer;
  CDistortion distortion;
  CEchoDelay echoDelay;
  CWavRecorder* recorder;
  std::atomic<bool> modulesStarted{false};
  StereoFrame mixBuffer[kMixBufferFrames];
};

// Left halves x 32767/3, truncated toward zero and saturated to 16 bits; NaN gives 0.
void ConvertToPcm16(const StereoFrame* frames, std::int16_t* samples, int n);
