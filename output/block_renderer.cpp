// The program's chain and the process-wide names bound to its parts. The names are bound at
// compile time, so they are valid before any constructor runs.
#include "output/block_renderer.h"

#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/post_process_params.h"
#include "output/wav_recorder.h"

CSynthChain g_synthChain(&g_wavRecorder);
constinit CDistortion& g_distortion = g_synthChain.Distortion();
constinit CEchoDelay& g_echoDelay = g_synthChain.EchoDelay();
constinit StereoFrame (&g_mixBuffer)[kMixBufferFrames] = g_synthChain.MixBuffer();

void StartProgramModules() {
  g_synthChain.StartModules();
  g_voice = &g_synthChain.Voice();
  g_riffPlayer = &g_synthChain.RiffPlayer();
}

void StopProgramModules() {
  g_synthChain.StopModules();
  g_voice = nullptr;
  g_riffPlayer = nullptr;
}

void ApplyPostProcessParam(int index, int value) { g_synthChain.ApplyPostProcessParam(index, value); }

void RenderBlock(std::int16_t* block, std::int32_t byteCount) {
  if (block == nullptr || byteCount < 2) {
    return;
  }
  g_synthChain.Render(block, byteCount / 2);
}
