// Plays the synth voice as a CNoteTarget. The voice hands these three calls over to the audio thread
// without locking, so a MIDI thread may make them while the audio thread renders.
#pragma once

#include "engine/synth_voice.h"
#include "sequencer/note_target.h"

class CVoiceNoteTarget final : public CNoteTarget {
 public:
  explicit CVoiceNoteTarget(CSynthVoice& voice) : voice(voice) {}

  void SetFrequency(float hz) override { voice.SetFrequency(hz); }
  void NoteOn() override { voice.NoteOn(); }
  void NoteOff() override { voice.NoteOff(); }

 private:
  CSynthVoice& voice;
};
