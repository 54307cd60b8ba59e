// The host's sound output: one mono output stream on the machine's sound system, fed from a
// CSoundRing of 44100 Hz samples. The backend is chosen at open time with no setting: a running JACK
// server first, then a PulseAudio (or PipeWire) server, then ALSA's default device. The backend's
// own buffer is kept to a few milliseconds so that it adds little to the loop's length. A device
// that does not run at 44100 Hz (a JACK server at 48000 Hz) gets the samples through the rate
// converter.
//
// The backend's callback only copies from the ring and advances its play position: no
// allocation, no lock, no system call. Nothing is printed, whatever the backend reports.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "output/rate_converter.h"
#include "platform/sound/sound_ring.h"

class RtAudio;

class CHostSoundOutput {
 public:
  // Frames per backend callback and, where the backend lets us choose, the number of such
  // buffers it queues: 3 x 128 frames is 8.7 ms.
  static constexpr unsigned kBufferFrames = 128;
  static constexpr unsigned kBufferCount = 3;
  // The client name under which the stream appears in the sound server.
  static constexpr const char* kClientName = "Quembrel";
  // The name the sound library gives the stream's one JACK port.
  static constexpr const char* kJackPortName = "outport 0";

  CHostSoundOutput();
  ~CHostSoundOutput();
  CHostSoundOutput(const CHostSoundOutput&) = delete;
  CHostSoundOutput& operator=(const CHostSoundOutput&) = delete;

  // Opens the stream on the first backend that accepts it, without starting it.
  bool Open();
  // Starts the opened stream; true when it runs.
  bool Start();
  // Stops and closes the stream; the ring is no longer read once this returns.
  void Close();

  CSoundRing& GetRing();
  // The rate the device plays at, and the converter's delay in its frames (0 at 44100 Hz).
  int GetDeviceRate() const { return converter.OutputRate(); }
  int GetConverterLatencyFrames() const { return converter.LatencyFrames(); }
  // From a sample taken from the ring to it being heard, in engine frames: the backend's queued
  // buffers and the converter's delay. 0 while closed.
  std::uint32_t GetLatencyFrames() const;

 private:
  static int Render(void* output, void* input, unsigned int frames, double streamTime,
                    unsigned int status, void* user);
  bool OpenWith(int api);

  std::unique_ptr<RtAudio> audio;
  CSoundRing ring;
  std::atomic<bool> started;
  bool floatSamples;
  // Device frames from a sample taken from the ring to it being played, the converter aside.
  unsigned int queuedFrames = 0;
  CRateConverter converter;
  // The ring's samples for one callback when they go through the converter.
  std::unique_ptr<std::int16_t[]> engineFrames;
};
