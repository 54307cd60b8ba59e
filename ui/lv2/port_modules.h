// CPortModules: the panels' modules in a plugin window. The window never touches the plugin's
// sound: every change the panels make is written to the plugin's port for it through the host
// (the LFO target masks to their four switches, Play to the Play port), a note from the buttons
// goes to the plugin's event input as a MIDI message, and what the host reports of the ports
// (automation, a preset, a restored session, the step being heard) is taken back by PortEvent for
// the panels to show.
#pragma once

#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>

#include "plugin/plugin_ports.h"
#include "ui/lv2/port_module.h"
#include "ui/panel_modules.h"

class CPortModules : public CPanelModules {
 public:
  // The MIDI note the buttons play: A at 440 Hz.
  static constexpr std::uint8_t kButtonNote = 69;

  // `map` may be null: the buttons' notes are then not sent.
  CPortModules(LV2UI_Write_Function write, LV2UI_Controller controller, LV2_URID_Map* map);

  // A control port's value as the host reports it. True when a control the panels show moved.
  bool PortEvent(std::uint32_t port, float value);
  // Whether the host's transport places the riff's steps rather than the Play port.
  bool FollowsHost() const { return followHost; }

  int VoiceParam(int param) override { return voice.GetParam(param); }
  void SetVoiceParam(int param, int value) override { voice.SetParam(param, static_cast<ParamValue>(value)); }
  bool LoadPreset(const std::string& path, std::string* reason) override;
  bool SavePreset(const std::string& path, std::string* reason) override;
  void NoteOn() override { SendNote(0x90, 100); }
  void NoteOff() override { SendNote(0x80, 0); }

  int RiffParam(int param) override { return riff.GetParam(param); }
  void SetRiffParam(int param, int value) override { riff.SetParam(param, static_cast<ParamValue>(value)); }
  bool LoadRiff(const std::string& path, std::string* reason) override;
  bool SaveRiff(const std::string& path, std::string* reason) override;
  void Play() override { WritePort(kPlayPort, 1.0f); }
  void Stop() override { WritePort(kPlayPort, 0.0f); }
  bool IsPlaying() override { return heardStep >= 0; }
  int HeardStep() override { return heardStep; }

 private:
  void WritePort(int port, float value);
  void WriteVoice(int param, int value);
  void WriteRiff(int param, int value);
  void SendNote(std::uint8_t status, std::uint8_t velocity);

  LV2UI_Write_Function write;
  LV2UI_Controller controller;
  LV2_URID midiEvent = 0;
  LV2_URID eventTransfer = 0;
  CPortModule voice;
  CPortModule riff;
  bool followHost = true;
  int heardStep = -1;
};
