// Opening one mono output stream over RtAudio, as both of the program's sound outputs do on ALSA:
// on the backend's output device that is the default (else its first output; never a device with
// no output channels), under the program's client name, at
// the rate DeviceRateFor picks or the one asked for. RtAudio and the ALSA library print their own
// diagnostics while probing devices that are not there; those are kept quiet, and what went wrong
// is handed back in one line for the caller to report.
//
// A backend that fails while its stream runs (the ALSA device was unplugged, the server behind the
// ALSA plug-in went away) reports it on the stream's own thread, before that thread calls the callback again:
// the callback asks StreamFailedOnThisThread and ends the stream by returning 2, so a lost server
// never has the backend spin through its error path, nor the chain render sound nobody hears.
#pragma once

#include <RtAudio.h>

#include <memory>
#include <string>

struct RtAudioOutput {
  // Null when the backend is not there, lists no output, or refused the stream; `why` says which.
  std::unique_ptr<RtAudio> audio;
  std::string why;
  unsigned int rate = 0;
  // Frames per callback, as the backend granted them.
  unsigned int frames = 0;
  // Buffers the backend queues, as it reports them.
  unsigned int bufferCount = 0;
  bool floatSamples = false;
};

// Opens the stream, without starting it, asking for `frames` per callback and, where the backend
// lets us choose, `bufferCount` queued buffers, at `rate` (0: as DeviceRateFor picks). It carries
// 32-bit floats when `floatAtEngineRate` or when the device runs at another rate than the engine
// (resampled output is float), else the engine's 16-bit samples as they are.
RtAudioOutput OpenRtAudioOutput(RtAudio::Api api, const char* clientName, unsigned int rate, unsigned int frames,
                                unsigned int bufferCount, bool floatAtEngineRate, RtAudioCallback callback,
                                void* user);

// Stream thread: true once the backend has reported a failure of the stream this thread runs
// (an underrun is no failure: the stream goes on). Cleared by the next open on any thread.
bool StreamFailedOnThisThread();

// Stops and closes a stream opened here, if any: playing out what the backend holds when
// `playQueued`, else dropping it. Errors on the way (a server already gone) end nothing but this.
void CloseRtAudioOutput(std::unique_ptr<RtAudio>& audio, bool playQueued);
