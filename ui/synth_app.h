// CSynthApp: the application object. Its whole run is the synth panel, run modally as the one
// main window; the riff panel is served by the same loop. When the panel has closed, the program
// ends, and OnExit makes sure the sound output is stopped before a recording still running is
// finished, whatever ended the panel.
#pragma once

#include "platform/application.h"

class CSynthApp : public CApplication {
 public:
  CSynthApp() = default;

  bool InitInstance() override;
  void OnExit() override;
};

extern CSynthApp g_synthApp;
