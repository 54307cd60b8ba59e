// Chooses between the program's two sound outputs, switches between them while it runs, and keeps
// the chosen one playing when the sound system under it goes away and comes back.
//
// The classic output is the audio stream: a 4096-sample loop refilled every 20 ms, each sample
// heard about one loop after it was rendered. The low-latency output renders inside the sound
// system's callback, within a period of the server. Both drive the same chain through the block
// renderer, so switching stops one and starts the other and everything else carries on: the riff
// keeps its place and a recording in progress goes on with what the new output renders, without
// a gap or a repeated block. What one output has rendered and not yet played is played by the
// other: the classic loop's unheard part opens the low-latency stream, and the classic loop starts
// full of freshly rendered sound rather than silence. The next output's stream is opened while the
// running one still plays, so the silence between them is only a stream's start; on JACK both play
// through one client, handed from one to the other between two cycles, so that the port keeps its
// connections and at most one period is silent.
//
// A watch thread looks at the running output five times a second. When its server or device has
// gone away (or nothing could be opened at all) it says so once on standard error and tries every
// half second to play again, in the mode chosen, on whatever sound system is there by then: the
// classic loop keeps its place and plays on from the sound it had not yet played. Meanwhile
// nothing renders, so a recording pauses; it goes on when the sound does. Each time the output
// changes, one line on standard error says what plays, and GetStatus has the same words.
//
// On JACK the low-latency output adds the MIDI port "Quembrel" to the client while it plays; the
// MIDI input's JACK port is closed meanwhile so that one port receives the notes, and opened again
// on the way back to the classic output, and again whenever the output comes back, so that it
// lives on the server that is there now.
//
// Start, Switch and Stop come from the control thread (the UI thread); they and the watch thread
// take turns under one lock, which the audio callbacks never see. GetMode, GetStatus and
// GetLatencyFrames may be read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "output/block_callback.h"
#include "platform/sound/jack_client.h"
#include "platform/sound/low_latency_output.h"
#include "platform/sound/midi_input.h"
#include "platform/sound/transport_follower.h"

class CNoteTarget;

enum class OutputMode { kClassic, kLowLatency };

class COutputSwitch {
 public:
  // How often the watch thread looks, and how often it tries to open an output again.
  static constexpr std::chrono::milliseconds kWatchInterval{200};
  static constexpr std::chrono::milliseconds kRetryInterval{500};

  COutputSwitch();
  ~COutputSwitch();
  COutputSwitch(const COutputSwitch&) = delete;
  COutputSwitch& operator=(const COutputSwitch&) = delete;

  // Starts the output chosen, rendering through `render`; MIDI reaching the low-latency output's
  // own port plays `midiTarget`. When the low-latency output cannot start, the classic one plays
  // and the mode stays classic. True when sound runs; otherwise the watch thread keeps trying.
  bool Start(OutputMode mode, BlockCallback render, CNoteTarget* midiTarget);
  // Stops the running output and starts the one chosen, as Start does, handing over what the
  // running one has rendered and not yet played.
  bool Switch(OutputMode mode);
  void Stop();

  OutputMode GetMode() const { return mode.load(std::memory_order_relaxed); }
  // What plays, e.g. "Sound: PulseAudio (PipeWire) · 44100 Hz → 48000 Hz · 2 × 256 frames · low
  // latency", or why nothing does.
  std::string GetStatus() const;
  // True while an output plays (not stopped, not waiting for a sound system).
  bool IsPlaying() const { return playing.load(std::memory_order_acquire); }
  // Whether the riff follows the JACK transport when a timebase master gives it a tempo, in
  // either output (see CTransportFollower); off at first.
  void SetFollowTransport(bool on);
  bool GetFollowTransport() const { return transport.IsEnabled(); }
  // True while a master's tempo places the riff's steps; any thread.
  bool IsFollowingTransport() const { return transport.IsFollowing(); }
  // The MIDI input ports, opened and closed by the program's start-up and shut-down.
  CMidiInput& Midi() { return midi; }
  const CLowLatencyOutput& GetLowLatencyOutput() const { return lowLatency; }
  // From a frame being rendered to it being heard, in engine frames (44100 Hz), in either mode:
  // what the step light allows for. 0 without sound.
  int GetLatencyFrames() const { return latencyFrames.load(std::memory_order_relaxed); }

 private:
  bool StartLocked(OutputMode mode, bool handOver);
  // Stops both outputs but `prepared`, which Open has readied for the next start.
  void StopLocked(std::optional<OutputMode> prepared = std::nullopt);
  bool StartClassic(bool renderAhead);
  // `opened`: Open has readied the output and it only has to play.
  bool StartLowLatency(bool opened);
  bool IsLostLocked() const;
  void Announce();
  void Watch();

  std::atomic<OutputMode> mode;
  OutputMode chosen;
  BlockCallback render;
  CNoteTarget* midiTarget;
  CTransportFollower transport;
  // The JACK client both outputs play through; the audio stream is handed it from Start to Stop.
  CJackClient jack;
  CLowLatencyOutput lowLatency;
  CMidiInput midi;
  std::atomic<int> latencyFrames;
  std::atomic<bool> playing;

  mutable std::mutex lock;
  std::condition_variable wake;
  // Between Start and Stop: the watch thread keeps an output playing.
  bool active = false;
  // The audio stream plays through `jack`.
  bool jackHanded = false;
  bool quit = false;
  bool lossAnnounced = false;
  std::chrono::steady_clock::time_point nextTry;
  std::string status;
  std::thread watcher;
};
