// The program's one sound chain and the process-wide names of its parts: g_voice, g_riffPlayer,
// g_distortion, g_echoDelay, g_mixBuffer, with g_wavRecorder as its recorder. RenderBlock, the
// function the audio stream calls, renders it: clear the mix buffer, let the riff player render (it
// renders the voice), distortion, delay, conversion of the left halves to 16-bit, and the recorder.
// The device and the recorder receive exactly the same samples. RenderBlock has the form of a
// BlockCallback.
#pragma once

#include <cstdint>

#include "engine/stereo_frame.h"
#include "output/synth_chain.h"

extern CSynthChain g_synthChain;
extern StereoFrame (&g_mixBuffer)[kMixBufferFrames];

// The program's start-up of its chain (CSynthChain::StartModules), after which g_voice and
// g_riffPlayer name the chain's voice and riff player. Again later, it starts them afresh.
void StartProgramModules();
// Back to the state before start-up: g_voice and g_riffPlayer null, blocks silent.
void StopProgramModules();

// Fills byteCount / 2 samples at block; an odd last byte is left as it is. Audio thread only.
void RenderBlock(std::int16_t* block, std::int32_t byteCount);
