// The one monophonic subtractive voice: oscillators A and B, a sub-oscillator an octave down, two
// LFOs, an amplitude and a filter envelope with timed sustain, and the multimode filter.
// (Interface agreed between the layers; the engine fills in the private state.)
#pragma once

#include "engine/sound_module.h"

class CSynthVoice : public CSoundModule {
 public:
  static constexpr int kParamCount = 37;

  CSynthVoice();

  void Init() override;
  bool IsActive() override;
  StereoFrame* Render(StereoFrame* frames, int count) override;
  int GetParamCount() override;
  ParamValue GetParam(int index) override;
  void SetParam(int index, ParamValue value) override;

  void NoteOn();
  void NoteOff();
  void SetFrequency(float hz);
};

// Created by the synth panel's start-up (or a host such as the offline renderer); never deleted.
extern CSynthVoice* g_voice;
