// Opening one mono output stream over RtAudio, as both of the program's sound outputs do: on one
// backend's default device, under the program's client name, at the rate DeviceRateFor picks, and
// quietly (RtAudio and the ALSA library print their own diagnostics while probing devices that are
// not there, and the program is meant to go on without sound).
#pragma once

#include <RtAudio.h>

#include <memory>

struct RtAudioOutput {
  // Null when the backend is not there, lists no device, or refused the stream.
  std::unique_ptr<RtAudio> audio;
  unsigned int rate = 0;
  // Frames per callback, as the backend granted them.
  unsigned int frames = 0;
  // Buffers the backend queues, as it reports them.
  unsigned int bufferCount = 0;
  bool floatSamples = false;
};

// Opens the stream, without starting it, asking for `frames` per callback and, where the backend
// lets us choose, `bufferCount` queued buffers. It carries 32-bit floats when `floatAtEngineRate`
// or when the device runs at another rate than the engine (resampled output is float), else the
// engine's 16-bit samples as they are.
RtAudioOutput OpenRtAudioOutput(RtAudio::Api api, const char* clientName, unsigned int frames,
                                unsigned int bufferCount, bool floatAtEngineRate, RtAudioCallback callback,
                                void* user);
