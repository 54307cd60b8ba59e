// Chooses between the program's two sound outputs and switches between them while it runs.
//
// The classic output is the audio stream: a 4096-sample loop refilled every 20 ms, each sample
// heard about one loop after it was rendered. The low-latency output renders inside the sound
// system's callback, within a period of the server. Both drive the same chain through the block
// renderer, so switching stops one and starts the other and everything else carries on: the riff
// keeps its place and a recording in progress goes on with what the new output renders, without
// a gap or a repeated block.
//
// On JACK the low-latency output holds the MIDI port "Quembrel" in its own client; the MIDI input's
// JACK port is closed meanwhile so that one port receives the notes, and opened again on the way
// back to the classic output.
//
// The switch holds the program's MIDI input, whose JACK port it hands over. One control thread
// (the UI thread) calls Start, Switch, Stop and the MIDI input's Open and Close. GetLatencyFrames
// may be read from any thread.
#pragma once

#include <atomic>

#include "output/block_callback.h"
#include "platform/sound/low_latency_output.h"
#include "platform/sound/midi_input.h"
#include "platform/sound/transport_follower.h"

class CNoteTarget;

enum class OutputMode { kClassic, kLowLatency };

class COutputSwitch {
 public:
  COutputSwitch();
  COutputSwitch(const COutputSwitch&) = delete;
  COutputSwitch& operator=(const COutputSwitch&) = delete;

  // Starts the output chosen, rendering through `render`; MIDI reaching the low-latency output's
  // own port plays `midiTarget`. When the low-latency output cannot start, the classic one plays
  // and the mode stays classic. True when sound runs.
  bool Start(OutputMode mode, BlockCallback render, CNoteTarget* midiTarget);
  // Stops the running output and starts the one chosen, as Start does.
  bool Switch(OutputMode mode);
  void Stop();

  OutputMode GetMode() const { return mode; }
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
  bool StartClassic();
  bool StartLowLatency();

  OutputMode mode;
  BlockCallback render;
  CNoteTarget* midiTarget;
  CTransportFollower transport;
  CLowLatencyOutput lowLatency;
  CMidiInput midi;
  std::atomic<int> latencyFrames;
};
