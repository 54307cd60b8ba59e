// The low-latency sound output: the whole output chain runs inside the sound system's own callback
// and renders exactly the frames it asks for, so a note is heard within one period of the server.
//
// On a running JACK server it plays through the client "Quembrel" and its audio port "outport 0",
// which it shares with the classic output when one is given, and adds the MIDI input port
// "Quembrel" while it plays. MIDI events are read in the same process cycle and the block is cut at
// each event's frame, so a note starts at the exact frame it was sent for; the transport is read
// there too, so a riff following it plays its steps on the exact frames of the master's
// sixteenths. Elsewhere it is a stream with a small buffer on PulseAudio (or PipeWire), straight
// over libpulse, and then an RtAudio callback stream on ALSA; MIDI then comes from the MIDI input's
// own ports and takes effect at the start of the next callback.
//
// The engine always renders at 44100 Hz; a server at another rate gets the output through the rate
// converter, and a MIDI event's frame is mapped through it to the engine frame heard there.
//
// Start and Stop belong to one control thread; the callback allocates nothing, takes no lock and
// never waits. After Stop returns the callback no longer runs, and Start may be called again.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "output/block_callback.h"
#include "output/rate_converter.h"
#include "platform/sound/jack_client.h"

class CMidiNoteHandler;
class CNoteTarget;
class CPulseStream;
class CTransportFollower;
class RtAudio;
struct _jack_port;

class CLowLatencyOutput {
 public:
  static constexpr const char* kClientName = "Quembrel";
  static constexpr const char* kMidiPortName = "Quembrel";
  // The stream's period where the program chooses it, and how many it asks to queue. On a plain
  // PulseAudio server 6 x 256 frames (granted as 5 x 256, 27 ms at 48000 Hz) played minutes
  // without a gap, where 4 x 256 left 0 to 11 short gaps a minute and 5 x 256 one or two; 2 x 128,
  // which suit a sound card, left gaps every few seconds. A PipeWire graph runs at the shortest
  // period its streams ask for, and at 256 frames it dropped one now and then whoever played (5 to
  // 26 gaps a minute here, pacat 12 to 15): there the stream asks for 4 x 512 (granted as 3 x 512),
  // which had 0 and 2 gaps in a minute, heard 22 to 51 ms after the key where 3 x 256 took 8 to
  // 28 ms. It is the classic output's period too, so a switch leaves the graph's period as it is.
  static constexpr unsigned kCallbackFrames = 128;
  static constexpr unsigned kPulseCallbackFrames = 256;
  static constexpr unsigned kPipeWireCallbackFrames = 512;
  static constexpr unsigned kCallbackBufferCount = 2;
  static constexpr unsigned kPulseBufferCount = 6;
  static constexpr unsigned kPipeWireBufferCount = 4;
  // The most engine frames of sound handed over by another output that the first periods play.
  static constexpr unsigned kMaxLeadIn = 8192;
  // The largest JACK period the converter is prepared for.
  static constexpr int kMaxJackFrames = 8192;

  enum class Backend { kNone, kJack, kPulse, kAlsa };

  // On JACK the output plays through `sharedJack` when given, else through a client of its own.
  explicit CLowLatencyOutput(CJackClient* sharedJack = nullptr);
  ~CLowLatencyOutput();
  CLowLatencyOutput(const CLowLatencyOutput&) = delete;
  CLowLatencyOutput& operator=(const CLowLatencyOutput&) = delete;

  // Starts on the first backend that takes it, rendering through `render`; on JACK, MIDI arriving
  // at the client's own port plays `midiTarget` (none when it is null). True when sound runs.
  bool Start(BlockCallback render, CNoteTarget* midiTarget);
  // Start in two steps: Open finds the backend and opens the stream, the slow part, without
  // calling `render`; Play starts it. Between the two another output may go on playing, so that
  // a switch costs only the start. A failed step leaves the output stopped.
  bool Open(BlockCallback render, CNoteTarget* midiTarget);
  bool Play();
  // The follower that places the riff's steps on the JACK transport (none: the riff's own clock
  // always rules). Only while stopped; it must outlive the output's running.
  void SetTransportFollower(CTransportFollower* follower) { transport = follower; }
  // With `playQueued` what the backend holds is played out first, for a hand-over to the other
  // output that neither drops nor repeats sound.
  void Stop(bool playQueued = false);
  // Before Start (or Play): engine samples already rendered, and recorded, by the output that played before,
  // but not yet heard. The first periods play them before rendering anything new, so the switch
  // neither drops nor repeats sound. Play consumes them.
  void SetLeadIn(const std::int16_t* samples, std::uint32_t count);
  // True once the running stream's server or device has gone away; Stop and Start again then.
  bool IsLost() const { return lost.load(std::memory_order_acquire); }
  // What plays, e.g. "JACK · 44100 Hz · 1 × 128 frames"; empty while stopped.
  std::string Describe() const;
  // Why the last Start failed on a backend that was there; empty when none was.
  const std::string& GetFailure() const { return failure; }

  Backend GetBackend() const { return backend; }
  // True when this output reads MIDI itself (on JACK), so the MIDI input needs no JACK port.
  bool HasMidiPort() const { return backend == Backend::kJack; }
  int GetDeviceRate() const { return converter.OutputRate(); }
  int GetPeriodFrames() const { return periodFrames.load(std::memory_order_relaxed); }
  // From rendering a frame to the device playing it, in device frames: the queued periods plus
  // the rate converter's delay.
  int GetLatencyFrames() const;

 private:
  bool OpenJack();
  bool OpenPulse(unsigned int rate, unsigned int frames, unsigned int bufferCount);
  bool OpenAlsa();
  void RenderPeriod(float* out, int frames, void* midiBuffer);
  static void JackProcess(std::uint32_t frames, void* self);
  static void PulseProcess(float* out, unsigned int frames, void* self);
  static int CallbackProcess(void* output, void* input, unsigned int frames, double streamTime,
                             unsigned int status, void* self);

  BlockCallback render;
  CTransportFollower* transport = nullptr;
  Backend backend;
  CRateConverter converter;
  std::unique_ptr<std::int16_t[]> engineFrames;
  std::unique_ptr<CMidiNoteHandler> notes;
  CJackClient ownJack;
  CJackClient* jack;
  CJackClient::Player jackPlayer;
  _jack_port* midiPort;
  std::unique_ptr<RtAudio> audio;
  std::unique_ptr<CPulseStream> pulse;
  std::atomic<int> periodFrames;
  int queuedPeriods;
  std::atomic<bool> lost;
  std::string system;
  std::string failure;
  // Handed-over samples, and how many of them the callback has still to play; both set before the
  // stream starts and only the callback's afterwards.
  std::unique_ptr<std::int16_t[]> leadIn;
  std::uint32_t leadInCount = 0;
  std::uint32_t leadInDone = 0;
  bool leadInArmed = false;
};
