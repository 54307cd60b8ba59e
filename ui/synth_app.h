// CSynthApp: the application object. Its whole run is the synth panel, run modally as the one
// main window; the riff panel is served by the same loop. When the panel has closed, the program
// ends, and OnExit makes sure the sound output is stopped before a recording still running is
// finished, whatever ended the panel: the close box, Escape or a signal. The sound output it
// starts with is the one the user chose last (kept in the settings), unless the command line names
// one for this run. The application owns what the panels are handed: the output switch with its
// MIDI input, and who answers their file dialogs.
#pragma once

#include <optional>

#include "platform/sound/output_switch.h"
#include "platform/window/application.h"
#include "platform/window/file_picker.h"

class CSynthApp : public CApplication {
 public:
  CSynthApp() = default;

  // Reads --low-latency and --classic (the last one given counts) and --follow-transport, and
  // leaves every other argument to the window system.
  void ParseArguments(int argc, char** argv);

  // The output to start with: the command line's choice, else the one kept in the settings, else
  // the classic one. A kept value other than true or false (a file edited by hand) is ignored.
  OutputMode StartOutputMode() const;
  // Whether the riff follows the JACK transport from the start: --follow-transport, else the
  // riff panel's choice kept in the settings, else not.
  bool StartFollowTransport() const;

  bool InitInstance() override;
  void OnExit() override;
  // SIGINT, SIGTERM and SIGHUP close the synth panel as its close box does (the sound stops, a
  // recording is finished), whatever dialog is open, and the program exits with status 0.
  void OnQuitSignal() override;

  // Who answers the panels' file dialogs: the real dialogs unless a test scripts them.
  void SetFileDialogRunner(CFilePicker::Runner runner) { askFile = runner; }

 private:
  std::optional<OutputMode> outputOverride;
  bool followTransportOverride = false;
  COutputSwitch output;
  CFilePicker::Runner askFile = &CFilePicker::ShowDialog;
};

extern CSynthApp g_synthApp;
