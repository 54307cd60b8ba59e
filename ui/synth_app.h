// CSynthApp: the application object. Its whole run is the synth panel, run modally as the one
// main window; the riff panel is served by the same loop. When the panel has closed, the program
// ends, and OnExit makes sure the sound output is stopped before a recording still running is
// finished, whatever ended the panel: the close box, Escape or a signal. The sound output it
// starts with is the one the user chose last (kept in the settings), unless the command line names
// one for this run, and it opens with the preset and riff the command line names. The application
// owns what the panels are handed: the output switch with its MIDI input, and who answers their
// file dialogs.
#pragma once

#include <string>

#include "platform/sound/output_switch.h"
#include "platform/window/application.h"
#include "platform/window/file_picker.h"
#include "ui/program_options.h"

class CSynthApp : public CApplication {
 public:
  CSynthApp() = default;

  // Reads the command line (see ProgramOptions). Unless it asks for --help or --version, also finds
  // the preset and riff it names, as files or bank names, and tries them on a chain of its own, so
  // that one that cannot be loaded is refused before any window or sound opens. False, with a
  // one-line reason in error, on a bad command line or a preset or riff that cannot be loaded.
  bool ParseArguments(int argc, char** argv, std::string* error = nullptr);
  const ProgramOptions& GetOptions() const { return options; }

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
  ProgramOptions options;
  // The files the command line's preset and riff were found at; empty: none named.
  std::string startPreset;
  std::string startRiff;
  COutputSwitch output;
  CFilePicker::Runner askFile = &CFilePicker::ShowDialog;
};

extern CSynthApp g_synthApp;
