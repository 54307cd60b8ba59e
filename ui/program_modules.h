// CProgramModules: the panels' modules in the program: the process-wide voice (g_voice) with the
// program's effects, and the process-wide riff player (g_riffPlayer), whose step light allows for
// the delay of the sound output that plays them.
#pragma once

#include "platform/sound/output_switch.h"
#include "ui/panel_modules.h"

class CProgramModules : public CPanelModules {
 public:
  explicit CProgramModules(COutputSwitch* output) : output(output) {}

  int VoiceParam(int param) override;
  void SetVoiceParam(int param, int value) override;
  bool LoadPreset(const std::string& path, std::string* reason) override;
  bool SavePreset(const std::string& path, std::string* reason) override;
  void NoteOn() override;
  void NoteOff() override;

  int RiffParam(int param) override;
  void SetRiffParam(int param, int value) override;
  bool LoadRiff(const std::string& path, std::string* reason) override;
  bool SaveRiff(const std::string& path, std::string* reason) override;
  void Play() override;
  void Stop() override;
  bool IsPlaying() override;
  int HeardStep() override;

 private:
  COutputSwitch* output;
};
