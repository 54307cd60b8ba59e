// CSynthPanel: the program's main window, run modally by the application. It shows every voice
// parameter as a knob, a radio-button group or a check box, plays a note by hand, and loads and
// saves presets. Its initialisation is the program's start-up (voice, riff player, riff panel,
// then sound) and its close command the orderly shut-down of the sound output: the stream is
// stopped before a running recording is finished, so nothing is rendered after the file is closed.
// The panel keeps no parameter values of its own: it reads them from the modules it is given when
// it refreshes and writes every change at once. In a plugin window, which hands it no output, it
// is the panel alone: the host owns the sound, the riff panel and the start-up.
// A right click on a control offers to bind it to a MIDI controller (CMidiLearn); on the
// background, the panel's menu.
#pragma once

#include <memory>
#include <string>

#include "platform/window/dialog.h"
#include "platform/window/icon.h"
#include "platform/window/popup_menu.h"
#include "platform/window/repeating_timer.h"
#include "ui/bank_menu.h"
#include "sequencer/note_target.h"
#include "ui/computer_keyboard.h"
#include "ui/controller_panel.h"
#include "ui/knob.h"
#include "ui/knob_param.h"
#include "ui/midi_learn.h"
#include "ui/panel_services.h"

class CSynthPanel : public CDialog, public CControllerPanel {
 public:
  // Every control's id. A radio group's four buttons take consecutive ids from its first; 1038 and
  // 1039 are the riff panel's.
  enum ControlId : int {
    kSyncBoxId = 1000,
    kOscMixKnobId = 1001,
    kOscAPulseKnobId = 1002,
    kOscBTuneKnobId = 1003,
    kOscBPulseKnobId = 1004,
    kOscBFineKnobId = 1005,
    kFmButtonId = 1006,
    kNoteOnId = 1007,
    kNoteOffId = 1008,
    kAmpAttackKnobId = 1009,
    kAmpDecayKnobId = 1010,
    kAmpSustainKnobId = 1011,
    kAmpLevelKnobId = 1012,
    kAmpReleaseKnobId = 1013,
    kSubLevelKnobId = 1014,
    kFltAttackKnobId = 1015,
    kOscAWaveFirstId = 1016,
    kOscBWaveFirstId = 1020,
    kSubWaveFirstId = 1024,
    kFltDecayKnobId = 1028,
    kFltSustainKnobId = 1029,
    kFltLevelKnobId = 1030,
    kFltReleaseKnobId = 1031,
    kFltEnvAmountKnobId = 1032,
    kFilterTypeFirstId = 1033,
    kCutoffKnobId = 1037,
    kMasterVolumeKnobId = 1040,
    kLfo1DetuneBoxId = 1041,
    kLfo1PulseKnobId = 1042,
    kLfo1RateKnobId = 1043,
    kLfo1AmountKnobId = 1044,
    kLfo1WaveFirstId = 1045,
    kLfo1PulseBoxId = 1049,
    kLfo1VolumeBoxId = 1050,
    kLfo1CutoffBoxId = 1051,
    kStaticTextId = 1052,
    kLfo2PulseKnobId = 1053,
    kLfo2RateKnobId = 1054,
    kLfo2AmountKnobId = 1055,
    kLfo2WaveFirstId = 1056,
    kLfo2DetuneBoxId = 1060,
    kLfo2PulseBoxId = 1061,
    kLfo2VolumeBoxId = 1062,
    kLfo2CutoffBoxId = 1063,
    kLoadPresetId = 1064,
    kSavePresetId = 1065,
    kDistAmountKnobId = 1066,
    kDelayTimeKnobId = 1067,
    kDelayFeedbackKnobId = 1068,
  };
  static constexpr int kKnobCount = 28;
  // The menu command that opens the About box.
  static constexpr int kAboutCommand = 16;
  // The menu's "Low latency" check item: switches between the classic and the low-latency output.
  static constexpr int kLowLatencyCommand = 48;
  // The grayed entry under it that says what plays.
  static constexpr int kSoundStatusCommand = 64;
  // Where the choice is kept between runs: the settings file in the user's configuration folder.
  static constexpr const char* kSettingsOrganization = "Quembrel";
  static constexpr const char* kSettingsApplication = "Quembrel";
  static constexpr const char* kLowLatencySetting = "output/lowLatency";

  explicit CSynthPanel(const PanelServices& services, CWindow* parent = nullptr);
  // Closes the MIDI input and stops the output, which play the panel's note target.
  ~CSynthPanel() override;

  bool OnInitDialog() override;
  void DoDataExchange() override;
  bool OnCommand(WParam wParam, LParam lParam) override;
  bool HandleCommand(int id, int code) override;
  void OnClose() override;
  bool OnKeyPress(int key) override;
  void OnContextMenu(int screenX, int screenY) override;

  // Sets every control from the voice's parameters; writes none.
  void RefreshControls();
  // The knob-change callback of this panel's knobs.
  static void OnSynthKnob(int controlId, int value);
  // Commands of the panel's menu: the About box for 16..31, a bank sound for the Presets
  // entries, the low-latency switch for 48, nothing else.
  void OnSysCommand(int id, LParam lParam);
  const CPopupMenu& GetSystemMenu() const { return systemMenu; }
  // MIDI learn, once the panel is initialised.
  CMidiLearn* GetMidiLearn() const { return midiLearn.get(); }

  // Every knob, radio group and enabled check box can follow a MIDI controller.
  const char* LearnPanelName() const override { return "synth"; }
  int LearnableControlAt(int screenX, int screenY) const override;
  std::string LearnName(int controlId) const override;
  int LearnControlNamed(const std::string& name) const override;
  void ApplyController(int controlId, int value) override;

 private:
  void OnNoteOn();
  void OnNoteOff();
  void OnLoadPreset();
  void OnSavePreset();
  // What Load does once a file is chosen: the voice's parameters, the effects, the controls; or,
  // when the file cannot be loaded, a message and no change at all.
  void LoadPresetFile(const std::string& path);
  void OnLowLatency();

  // The modules it edits: those it is handed, or the program's own.
  CPanelModules& Modules() { return *services.modules; }

  PanelServices services;
  std::unique_ptr<CPanelModules> programModules;
  CKnob knobs[kKnobCount];
  CIcon icon;
  CPopupMenu systemMenu;
  CBankMenu presets;
  std::unique_ptr<CNoteTarget> voiceTarget;
  // MIDI plays the voice through this target from the MIDI systems' threads, by way of MIDI learn,
  // which takes the control changes.
  std::unique_ptr<CNoteTarget> midiTarget;
  std::unique_ptr<CMidiLearn> midiLearn;
  std::unique_ptr<CComputerKeyboard> keyboard;
};

// The 28 knobs' control ids and voice parameters, ended by {-1, -1}.
extern const KnobParam g_synthKnobTable[];
// The last path chosen in either preset dialog; empty at first.
extern std::string g_lastPresetPath;
