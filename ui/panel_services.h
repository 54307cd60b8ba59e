// PanelServices: what the program's start-up hands its two panels beyond the process-wide modules
// they edit. The sound output they start, switch and read the delay of; the output to start with;
// who answers their file dialogs (the real dialogs in the program, a script in tests); and whether
// the riff follows the JACK transport from the start.
#pragma once

#include "platform/sound/output_switch.h"
#include "platform/window/file_picker.h"

struct PanelServices {
  COutputSwitch* output;
  OutputMode startMode = OutputMode::kClassic;
  CFilePicker::Runner askFile = &CFilePicker::ShowDialog;
  // Whether the riff starts out following the JACK transport.
  bool followTransport = false;
};
