// PanelServices: what the two panels are handed by whoever hosts them. The modules they edit; the
// sound output they start, switch and read the delay of, with the output to start with; who
// answers their file dialogs (the real dialogs in the program, a script in tests); and the preset
// and riff files to open with. The program hands its output and may leave the modules out: the
// panels then edit the program's process-wide ones over that output. A plugin window hands its
// modules and no output: the host owns the sound, so the panels start nothing, switch nothing and
// record nothing.
#pragma once

#include <string>

#include "platform/sound/output_switch.h"
#include "platform/window/file_picker.h"
#include "ui/panel_modules.h"

struct PanelServices {
  COutputSwitch* output;
  OutputMode startMode = OutputMode::kClassic;
  CFilePicker::Runner askFile = &CFilePicker::ShowDialog;
  CPanelModules* modules = nullptr;
  // Loaded once the panels' modules have started, as Load would load them; empty: none.
  std::string startPreset;
  std::string startRiff;
};
