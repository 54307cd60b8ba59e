// PanelServices: what the program's start-up hands its two panels beyond the process-wide modules
// they edit. The sound output they start, switch and read the delay of; the output to start with;
// and who answers their file dialogs (the real dialogs in the program, a script in tests).
#pragma once

#include "platform/sound/output_switch.h"
#include "platform/window/file_picker.h"

struct PanelServices {
  COutputSwitch* output;
  OutputMode startMode = OutputMode::kClassic;
  CFilePicker::Runner askFile = &CFilePicker::ShowDialog;
};
