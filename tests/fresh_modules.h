// The sound modules as the synth panel's start-up makes them, for the tests and benchmarks that run
// the output chain without the panels: a new voice and riff player (replacing any earlier ones),
// both initialised, the voice attached to the riff player and its base pitch at 440 Hz. The effects,
// the recorder and the riff's play state are left to the caller.
#pragma once

#include "engine/synth_voice.h"
#include "sequencer/riff_player.h"

inline void CreateFreshModules() {
  delete g_riffPlayer;
  delete g_voice;
  g_voice = new CSynthVoice();
  g_voice->Init();
  g_riffPlayer = new CRiffPlayer();
  g_riffPlayer->Init();
  g_riffPlayer->Attach(g_voice);
  g_voice->SetFrequency(440.0f);
}
