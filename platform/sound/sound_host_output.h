// The host's sound output: one mono output stream on the machine's sound system, fed from a
// CSoundRing of 44100 Hz samples. The backend is chosen at open time with no setting: a running JACK
// server first (the client "Quembrel" with the port "outport 0", shared with the low-latency output
// when one is given), then a PulseAudio server (plain or PipeWire's) on its default sink, then
// ALSA's default device. The backend's own buffer is kept to a few milliseconds so that it adds
// little to the loop's length. A device that does not run at 44100 Hz (a JACK server or a sink at
// 48000 Hz) gets the samples through the rate converter.
//
// The backend's callback only copies from the ring and advances its play position: no
// allocation, no lock, no system call. When the server goes away the callback stops taking
// samples, so the ring keeps what was rendered but not heard; Reopen puts a new stream under the
// same ring, which plays on from where the old one stopped.
//
// Open, Start, Reopen and Close belong to one control thread at a time; IsLost may be read from
// any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "output/rate_converter.h"
#include "platform/sound/jack_client.h"
#include "platform/sound/sound_ring.h"

class CPulseStream;
class RtAudio;

class CHostSoundOutput {
 public:
  // Frames per backend callback and, where the backend lets us choose, the number of such
  // buffers it queues: 3 x 128 frames is 8.7 ms. A PulseAudio server (plain or PipeWire's) wakes
  // its clients less precisely than a sound card, so there the stream asks for 4 x 512 frames:
  // with 4 x 256 a minute of sound on a busy machine had ten times as many gaps.
  static constexpr unsigned kBufferFrames = 128;
  static constexpr unsigned kBufferCount = 3;
  static constexpr unsigned kPulseBufferFrames = 512;
  static constexpr unsigned kPulseBufferCount = 4;
  // The client name under which the stream appears in the sound server.
  static constexpr const char* kClientName = "Quembrel";
  // The largest JACK period the converter is prepared for.
  static constexpr int kMaxJackFrames = 8192;

  // On JACK the output plays through `sharedJack` when given, else through a client of its own.
  explicit CHostSoundOutput(CJackClient* sharedJack = nullptr);
  ~CHostSoundOutput();
  CHostSoundOutput(const CHostSoundOutput&) = delete;
  CHostSoundOutput& operator=(const CHostSoundOutput&) = delete;

  // Opens the stream on the first backend that accepts it, without starting it. A backend that is
  // there but refuses is reported on standard error; GetFailure keeps the last reason.
  bool Open();
  // Starts the opened stream; true when it runs.
  bool Start();
  // Stops and closes the stream; the ring is no longer read once this returns. With `playQueued`
  // what the backend holds is played out first, so that the ring's play position is what was heard.
  void Close(bool playQueued = false);
  // Closes a stream that was started and opens and starts one again, on whichever backend is there
  // now, under the same ring. True when sound runs again.
  bool Reopen();
  // True once the running stream's server or device has gone away.
  bool IsLost() const { return lost.load(std::memory_order_acquire); }

  CSoundRing& GetRing();
  // The rate the device plays at, and the converter's delay in its frames (0 at 44100 Hz).
  int GetDeviceRate() const { return converter.OutputRate(); }
  int GetConverterLatencyFrames() const { return converter.LatencyFrames(); }
  // From a sample taken from the ring to it being heard, in engine frames: the backend's queued
  // buffers and the converter's delay. 0 while closed.
  std::uint32_t GetLatencyFrames() const;
  // What plays, e.g. "JACK · 44100 Hz → 48000 Hz · 1 × 256 frames"; empty while closed.
  std::string Describe() const;
  const std::string& GetFailure() const { return failure; }

 private:
  enum class Backend { kNone, kJack, kPulse, kAlsa };

  static int Render(void* output, void* input, unsigned int frames, double streamTime,
                    unsigned int status, void* user);
  static void JackProcess(std::uint32_t frames, void* user);
  static void PulseRender(float* output, unsigned int frames, void* user);
  bool OpenJack();
  bool OpenPulse(unsigned int rate);
  bool OpenAlsa();
  void Fill(void* output, unsigned int frames);
  bool IsOpen() const { return backend != Backend::kNone; }

  Backend backend = Backend::kNone;
  std::unique_ptr<RtAudio> audio;
  std::unique_ptr<CPulseStream> pulse;
  CJackClient ownJack;
  CJackClient* jack;
  CJackClient::Player jackPlayer;
  CSoundRing ring;
  std::atomic<bool> started;
  std::atomic<bool> lost;
  bool floatSamples;
  unsigned int frames = 0;
  unsigned int bufferCount = 0;
  // Device frames from a sample taken from the ring to it being played, the converter aside.
  unsigned int queuedFrames = 0;
  std::string system;
  std::string failure;
  CRateConverter converter;
  // The ring's samples for one callback when they go through the converter.
  std::unique_ptr<std::int16_t[]> engineFrames;
};
