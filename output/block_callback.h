// The form of the function the audio stream calls to fill one region of the device buffer: a
// pointer to the region, viewed as signed 16-bit samples, and the region's length in bytes.
// RenderBlock is the one the program hands over; tests hand over their own.
#pragma once

#include <cstdint>

using BlockCallback = void (*)(std::int16_t* block, std::int32_t byteCount);
