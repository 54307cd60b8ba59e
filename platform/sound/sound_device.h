// An open sound output device of the platform's sound layer: it takes the window that owns the
// sound, and creates the primary buffer and the looping buffer. Destroying it closes the device;
// its buffers are destroyed first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/sound/sound_buffer.h"
#include "platform/sound/sound_format.h"

// The window on whose behalf the program plays; opaque to the sound layer.
using SoundWindow = const void*;

class CSoundDevice {
 public:
  CSoundDevice() = default;
  CSoundDevice(const CSoundDevice&) = delete;
  CSoundDevice& operator=(const CSoundDevice&) = delete;
  virtual ~CSoundDevice() = default;

  // Asks for the device to ourselves while the window is active.
  virtual bool ClaimExclusive(SoundWindow window) = 0;
  // Each returns null on failure.
  virtual std::unique_ptr<CSoundBuffer> CreatePrimaryBuffer() = 0;
  virtual std::unique_ptr<CSoundBuffer> CreateLoopBuffer(std::uint32_t byteCount,
                                                         const SoundFormat& format) = 0;
  // From a sample leaving the looping buffer to it being heard, in engine frames (44100 Hz): what
  // the device's own buffers hold. None for a device that plays the loop directly.
  virtual std::uint32_t GetOutputLatencyFrames() const { return 0; }
  // True once the sound system under a playing looping buffer has gone away; Reconnect then opens
  // it again under the same buffer, which plays on from where it stopped (true when it does).
  virtual bool IsLost() const { return false; }
  virtual bool Reconnect() { return true; }
  // What plays, in a few words for the user; empty where there is nothing to say.
  virtual std::string Describe() const { return ""; }
};
