// The chain's start-up and its pass over a run of frames, and the float-to-16-bit conversion.
// Rendering allocates nothing and waits for nothing.
#include "output/synth_chain.h"

#include "output/post_process_params.h"
#include "output/wav_recorder.h"

namespace {

// 32767 / 3 as a float: a left value of 3.0 is just short of full scale, so the shaper's largest
// outputs still fit.
constexpr float kPcmScale = 10922.333f;

}  // namespace

CSynthChain::CSynthChain(CWavRecorder* recorder) : recorder(recorder) {}

void CSynthChain::StartModules() {
  voice.Init();
  riffPlayer.Init();
  riffPlayer.Attach(&voice);
  voice.SetFrequency(440.0f);
  modulesStarted.store(true, std::memory_order_release);
}

void CSynthChain::StopModules() { modulesStarted.store(false, std::memory_order_release); }

void CSynthChain::ApplyPostProcessParam(int index, int value) {
  ApplyPostProcessParamTo(distortion, echoDelay, index, value);
}

void CSynthChain::Render(std::int16_t* samples, int count) {
  while (count > 0) {
    const int n = count < kMixBufferFrames ? count : kMixBufferFrames;
    RenderFrames(samples, n);
    samples += n;
    count -= n;
  }
}

void CSynthChain::RenderFrames(std::int16_t* samples, int n) {
  for (int i = 0; i < n; ++i) {
    mixBuffer[i] = StereoFrame{0.0f, 0.0f};
  }
  if (modulesStarted.load(std::memory_order_acquire)) {
    riffPlayer.Render(mixBuffer, n);
    distortion.Process(mixBuffer, n);
    echoDelay.Process(mixBuffer, n);
  }
  ConvertToPcm16(mixBuffer, samples, n);
  if (recorder != nullptr) recorder->Write(samples, n);
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
