// The block renderer: produces the samples for one region of the device buffer by running the whole
// output chain in order — clear the mix buffer, let the riff player render (it renders the voice),
// distortion, delay, conversion of the left halves to 16-bit, and the recorder. The device and the
// recorder receive exactly the same samples. RenderBlock has the form of a BlockCallback.
#pragma once

#include <cstdint>

#include "engine/stereo_frame.h"

// As many frames as the device's looping buffer holds samples: the largest block it asks for.
inline constexpr int kMixBufferFrames = 4096;

extern StereoFrame g_mixBuffer[kMixBufferFrames];

// Fills byteCount / 2 samples at block; an odd last byte is left as it is. Audio thread only.
void RenderBlock(std::int16_t* block, std::int32_t byteCount);

// Left halves x 32767/3, truncated toward zero and saturated to 16 bits; NaN gives 0.
void ConvertToPcm16(const StereoFrame* frames, std::int16_t* samples, int n);
