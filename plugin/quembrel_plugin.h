// One instance of the LV2 instrument: a sound chain of its own, played by the host's MIDI through
// the program's note handler and by its own riff player, which either keeps its own tempo or
// follows the host's transport. Control ports set the voice's and the riff's parameters as the
// panels do; the state holds the current preset and riff as their 37 and 36 values in the layout
// of the program's files. The engine runs at 44100 Hz; a host at another rate gets its output
// resampled.
//
// Threads, as LV2 defines them: Run on the audio thread; Activate, Save and Restore never at the
// same time as Run. Run allocates nothing, takes no lock, does no I/O, and does bounded work
// whatever the host sends.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <memory>

#include "output/rate_converter.h"
#include "output/synth_chain.h"
#include "sequencer/host_clock.h"
#include "plugin/plugin_ports.h"
#include "sequencer/midi_note_handler.h"
#include "sequencer/voice_note_target.h"

class CQuembrelPlugin {
 public:
  // Output frames rendered in one pass; a longer host block is cut into such passes.
  static constexpr int kPassFrames = 4096;

  // Null when the rate cannot be served, the host lacks the URID map, or memory runs out.
  static CQuembrelPlugin* Create(double rate, const LV2_Feature* const* features);

  CQuembrelPlugin(const CQuembrelPlugin&) = delete;
  CQuembrelPlugin& operator=(const CQuembrelPlugin&) = delete;

  void ConnectPort(std::uint32_t port, void* data);
  void Activate();
  void Run(std::uint32_t frames);
  LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

 private:
  struct Urids {
    LV2_URID atomBlank;
    LV2_URID atomObject;
    LV2_URID atomChunk;
    LV2_URID atomFloat;
    LV2_URID atomDouble;
    LV2_URID atomInt;
    LV2_URID atomLong;
    LV2_URID midiEvent;
    LV2_URID timePosition;
    LV2_URID timeBar;
    LV2_URID timeBarBeat;
    LV2_URID timeBeatsPerBar;
    LV2_URID timeBeatUnit;
    LV2_URID timeBeatsPerMinute;
    LV2_URID timeSpeed;
    LV2_URID presetKey;
    LV2_URID riffKey;
  };

  CQuembrelPlugin();
  bool Init(double rate, LV2_URID_Map* map);
  void ReadControlPorts();
  void ApplyVoiceParam(int param, int value);
  void RunPass(float* out, int frames, const LV2_Atom_Event*& event, const LV2_Atom_Event* end,
               std::uint32_t passStart, bool lastPass);
  // Renders the engine up to the output frame `until` of the pass, playing the host's steps
  // on the way.
  void RenderUntil(int until);
  void ReadPosition(const LV2_Atom_Object* position, int frame);
  void RememberPortValues();
  int HeardStep();

  CSynthChain chain;
  CVoiceNoteTarget noteTarget;
  CMidiNoteHandler midi;
  CRateConverter converter;
  CHostClock clock;
  Urids urids{};
  std::unique_ptr<std::int16_t[]> engine;
  // Where the current pass has got to, in output and in engine frames.
  int passOutput = 0;
  int passEngine = 0;
  // Riff steps the current pass may still play: one per frame, however many the host's positions
  // make due, so that a run's work stays bounded. A sixteenth the host clock follows lasts at least
  // a frame, so only a flood of position events could use them up; the clock, behind, then plays
  // only its latest step.
  int stepsLeft = 0;
  const void* ports[kPluginPortCount] = {};
  // The value each parameter port was last applied with, so a port is applied only when it moves.
  int lastPortValue[kPluginPortCount] = {};
  bool portsSeen = false;
  bool hostRules = false;
  bool playing = false;
  // The host's tempo and metre as last followed; positions may leave any of them out.
  double beatsPerMinute = 120.0;
  double beatsPerBar = 4.0;
  double beatUnit = 4.0;
  double speed = 0.0;
};
