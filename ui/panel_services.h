// PanelServices: what the program's start-up hands its two panels beyond the process-wide modules
// they edit. The sound output they start, switch and read the delay of; the output to start with;
// who answers their file dialogs (the real dialogs in the program, a script in tests); and the
// preset and riff files to open with.
#pragma once

#include <string>

#include "platform/sound/output_switch.h"
#include "platform/window/file_picker.h"

struct PanelServices {
  COutputSwitch* output;
  OutputMode startMode = OutputMode::kClassic;
  CFilePicker::Runner askFile = &CFilePicker::ShowDialog;
  // Loaded once the panels' modules have started, as Load would load them; empty: none.
  std::string startPreset;
  std::string startRiff;
};
