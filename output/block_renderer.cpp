// The block renderer's chain and the float-to-16-bit conversion. Everything it touches is fixed
// process-wide storage: nothing is allocated and nothing waits.
#include "output/block_renderer.h"

#include "engine/synth_voice.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"

StereoFrame g_mixBuffer[kMixBufferFrames];

namespace {

// 32767 / 3 as a float: a left value of 3.0 is just short of full scale, so the shaper's largest
// outputs still fit.
constexpr float kPcmScale = 10922.333f;

void RenderFrames(std::int16_t* samples, int n) {
  for (int i = 0; i < n; ++i) {
    g_mixBuffer[i] = StereoFrame{0.0f, 0.0f};
  }
  if (g_voice != nullptr && g_riffPlayer != nullptr) {
    g_riffPlayer->Render(g_mixBuffer, n);
    g_distortion.Process(g_mixBuffer, n);
    g_echoDelay.Process(g_mixBuffer, n);
  }
  ConvertToPcm16(g_mixBuffer, samples, n);
  g_wavRecorder.Write(samples, n);
}

}  // namespace

void RenderBlock(std::int16_t* block, std::int32_t byteCount) {
  if (block == nullptr || byteCount < 2) {
    return;
  }
  // The stream never asks for more than the mix buffer holds; a larger request is rendered in
  // pieces, which sounds the same because every stage carries its state across calls.
  int remaining = byteCount / 2;
  while (remaining > 0) {
    const int n = remaining < kMixBufferFrames ? remaining : kMixBufferFrames;
    RenderFrames(block, n);
    block += n;
    remaining -= n;
  }
}

void ConvertToPcm16(const StereoFrame* frames, std::int16_t* samples, int n) {
  for (int i = 0; i < n; ++i) {
    // Both factors are floats, so their product is exact in double.
    const double scaled = static_cast<double>(frames[i].left) * static_cast<double>(kPcmScale);
    std::int16_t sample = 0;
    if (scaled >= 32767.0) {
      sample = 32767;
    } else if (scaled <= -32768.0) {
      sample = -32768;
    } else if (scaled == scaled) {
      sample = static_cast<std::int16_t>(static_cast<int>(scaled));
    }
    samples[i] = sample;
  }
}
