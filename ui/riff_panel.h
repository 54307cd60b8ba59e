// CRiffPanel: the modeless window in which the user edits and plays the riff: a step knob and a
// gate box for each of the sixteen steps, tempo and transpose knobs, Play and Stop, loading and
// saving riff files, and starting and finishing a WAV recording of the output. Every control acts
// at once on the riff player of the modules it is given or on the recorder (g_wavRecorder); the
// panel keeps no values of its own. It stays open for the whole run: it has no close box and
// ignores Enter and Escape, since nothing could show it again once hidden. While the riff plays,
// the read-out of the step being heard is lit: the step that sounded as many frames back as the
// sound output holds between rendering a frame and playing it. In a plugin window, which hands it
// no output, the host records: Record and Stop rec. are disabled, and the window tells the panel
// when to look at the step light again.
// Its right-click menu also lets the riff follow the JACK transport's tempo and start and stop
// (see CTransportFollower), a choice kept between runs.
#pragma once

#include <string>

#include "platform/window/dialog.h"
#include "platform/window/popup_menu.h"
#include "platform/window/repeating_timer.h"
#include "ui/bank_menu.h"
#include "ui/controller_panel.h"
#include "ui/knob.h"
#include "ui/knob_param.h"
#include "ui/panel_services.h"

class CRiffPanel : public CDialog, public CControllerPanel {
 public:
  static constexpr int kStepCount = 16;
  static constexpr int kKnobCount = kStepCount + 2;
  static constexpr int kFirstStepKnobId = 1053;
  static constexpr int kFirstGateId = 1070;
  static constexpr int kBpmKnobId = 1086;
  static constexpr int kTransposeKnobId = 1087;
  static constexpr int kRecordId = 1038;
  static constexpr int kStopId = 1039;
  static constexpr int kStopRecordId = 1040;
  static constexpr int kLoadId = 1041;
  static constexpr int kSaveId = 1042;
  static constexpr int kPlayId = 1069;
  // How often the step light looks at what is heard: within a frame of a 60 Hz display.
  static constexpr int kStepLightIntervalMs = 15;
  // How often recorded samples are moved from the recorder's ring to the file while recording.
  static constexpr int kDrainIntervalMs = 50;
  // The right-click menu's "Follow JACK transport" check item, and where its state is kept between
  // runs (the settings file the synth panel keeps its output in).
  static constexpr int kFollowTransportCommand = 0x100;
  static constexpr const char* kFollowTransportSetting = "riff/followTransport";

  explicit CRiffPanel(const PanelServices& services, CWindow* parent = nullptr);

  bool OnInitDialog() override;
  void DoDataExchange() override;
  bool OnCommand(WParam wParam, LParam lParam) override;
  bool HandleCommand(int id, int code) override;
  bool OnKeyPress(int key) override;
  // A right click on a control offers MIDI learn; on the background, the factory bank's riffs and
  // following the JACK transport.
  void OnContextMenu(int screenX, int screenY) override;

  // Sets every control from the riff player's parameters; writes none.
  void RefreshControls();
  // The knob-change callback of this panel's knobs.
  static void OnRiffKnob(int controlId, int value);
  // Commands of the right-click menu: a bank riff for the Riffs entries, the transport switch for
  // kFollowTransportCommand, nothing else.
  void OnMenuCommand(int id);
  // The recording could no longer write its file (a full disk): it is finished with what the
  // file holds and the user told.
  void OnRecordingFailed();

  const CPopupMenu& GetContextMenu() const { return contextMenu; }

  // Every knob and gate box can follow a MIDI controller.
  const char* LearnPanelName() const override { return "riff"; }
  int LearnableControlAt(int screenX, int screenY) const override;
  std::string LearnName(int controlId) const override;
  int LearnControlNamed(const std::string& name) const override;
  void ApplyController(int controlId, int value) override;

  // Lights the read-out of the step being heard, and only it; none while the riff is stopped.
  void UpdateStepLight();
  // The step whose read-out is lit, or -1.
  int LitStep() const { return litStep; }

 private:
  void OnPlay();
  void OnStop();
  void OnFollowTransport();
  void OnLoadRiff();
  void OnSaveRiff();
  // What Load does once a file is chosen: the riff player's parameters, then the controls.
  void LoadRiffFile(const std::string& path);
  void OnStopRecord();
  void OnRecord();
  static void OnStepLightTimer();
  static void OnDrainTimer();

  // The modules it edits, handed on by the synth panel.
  CPanelModules& Modules() { return *services.modules; }

  PanelServices services;
  CKnob knobs[kKnobCount];
  CPopupMenu contextMenu;
  CBankMenu riffs;
  int litStep = -1;
  CRepeatingTimer stepLightTimer;
  // Runs only while a recording is open, so that an idle program has no timer waking it.
  CRepeatingTimer drainTimer;
};

// Step knobs 0..15 edit riff parameters 4..19, then "BPM" and "Transp."; ended by {-1, -1}.
extern const KnobParam g_riffKnobTable[];
// The last path chosen in either riff dialog, and in the recording dialog; empty at first.
extern std::string g_lastRiffPath;
extern std::string g_lastWavPath;
// Made and shown by the synth panel's start-up; never deleted.
extern CRiffPanel* g_riffPanel;
