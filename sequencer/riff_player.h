// The 16-step sequencer that plays the voice: tempo, transposition, and a note and a gate per step.
// (Interface agreed between the layers; the sequencer fills in the private state.)
#pragma once

#include "engine/sound_module.h"

class CSynthVoice;

class CRiffPlayer : public CSoundModule {
 public:
  static constexpr int kParamCount = 36;

  CRiffPlayer();

  void Init() override;
  bool IsActive() override;
  StereoFrame* Render(StereoFrame* frames, int count) override;
  int GetParamCount() override;
  ParamValue GetParam(int index) override;
  void SetParam(int index, ParamValue value) override;

  void Play();
  void Stop();
  void Attach(CSynthVoice* voice);
};

// Created by the synth panel's start-up (or a host such as the offline renderer); never deleted.
extern CRiffPlayer* g_riffPlayer;
