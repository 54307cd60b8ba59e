// CPanelModules: what the two panels edit and play, handed to them by whoever hosts them. The
// program hands its process-wide voice and riff player (CProgramModules); a plugin window hands
// the plugin's ports. Every change a panel makes goes through here and is heard at once; the
// panels read every value they show back from here, keeping none of their own.
#pragma once

#include <string>

class CPanelModules {
 public:
  CPanelModules() = default;
  CPanelModules(const CPanelModules&) = delete;
  CPanelModules& operator=(const CPanelModules&) = delete;
  virtual ~CPanelModules() = default;

  // The voice's parameters (engine/voice_params.h), the three effect values among them.
  virtual int VoiceParam(int param) = 0;
  virtual void SetVoiceParam(int param, int value) = 0;
  // A preset file (*.kv7) read into the voice, or the voice written to one. Both return false on
  // failure, with the reason in plain words; a failed load changes nothing.
  virtual bool LoadPreset(const std::string& path, std::string* reason) = 0;
  virtual bool SavePreset(const std::string& path, std::string* reason) = 0;
  // The buttons' note: started and released by hand.
  virtual void NoteOn() = 0;
  virtual void NoteOff() = 0;

  // The riff player's parameters (sequencer/riff_params.h) and its files (*.riff), as for the voice.
  virtual int RiffParam(int param) = 0;
  virtual void SetRiffParam(int param, int value) = 0;
  virtual bool LoadRiff(const std::string& path, std::string* reason) = 0;
  virtual bool SaveRiff(const std::string& path, std::string* reason) = 0;
  virtual void Play() = 0;
  // Stops the riff and rewinds it to its first step.
  virtual void Stop() = 0;
  // Whether the riff may be sounding, so that the step light has something to follow.
  virtual bool IsPlaying() = 0;
  // The step being heard now (not the one being computed ahead of it), or -1.
  virtual int HeardStep() = 0;
};
