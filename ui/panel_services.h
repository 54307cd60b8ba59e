// PanelServices: what the program's start-up hands its two panels beyond the process-wide modules
// they edit. The sound output they start, switch and read the delay of; the output to start with;
// who answers their file dialogs (the real dialogs in the program, a script in tests); whether the
// riff follows the JACK transport from the start; and MIDI learn.
#pragma once

#include "platform/sound/output_switch.h"
#include "platform/window/file_picker.h"

class CMidiLearn;

struct PanelServices {
  COutputSwitch* output;
  OutputMode startMode = OutputMode::kClassic;
  CFilePicker::Runner askFile = &CFilePicker::ShowDialog;
  // Whether the riff starts out following the JACK transport.
  bool followTransport = false;
  // The MIDI controllers' bindings, once the synth panel has made them; none in a panel alone.
  CMidiLearn* midiLearn = nullptr;
};
