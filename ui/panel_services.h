// PanelServices: what the two panels are handed by whoever hosts them. The modules they edit; the
// sound output they start, switch and read the delay of, with the output to start with; who
// answers their file dialogs (the real dialogs in the program, a script in tests); the preset and
// riff files to open with; whether the riff follows the JACK transport from the start; and MIDI
// learn. The program hands its output and may leave the modules out: the panels then edit the
// program's process-wide ones over that output. A plugin window hands its modules and no output:
// the host owns the sound, so the panels start nothing, switch nothing and record nothing.
#pragma once

#include <string>

#include "platform/sound/output_switch.h"
#include "platform/window/file_picker.h"
#include "ui/panel_modules.h"

class CMidiLearn;

struct PanelServices {
  COutputSwitch* output;
  OutputMode startMode = OutputMode::kClassic;
  CFilePicker::Runner askFile = &CFilePicker::ShowDialog;
  CPanelModules* modules = nullptr;
  // Loaded once the panels' modules have started, as Load would load them; empty: none.
  std::string startPreset;
  std::string startRiff;
  // Whether the riff starts out following the JACK transport.
  bool followTransport = false;
  // The MIDI controllers' bindings, once the synth panel has made them; none in a panel alone.
  CMidiLearn* midiLearn = nullptr;
};
