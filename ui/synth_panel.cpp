// CSynthPanel: layout, start-up, refresh, knob and button handling, presets and shut-down.
#include "ui/synth_panel.h"

#include <QSettings>
#include <QWidget>
#include <iterator>
#include <string>
#include <vector>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "platform/sound/audio_stream.h"
#include "output/block_renderer.h"
#include "output/wav_recorder.h"
#include "platform/window/file_picker.h"
#include "platform/window/message_box.h"
#include "platform/sound/midi_input.h"
#include "sequencer/riff_player.h"
#include "sequencer/voice_note_target.h"
#include "ui/about_box.h"
#include "ui/file_failure_text.h"
#include "ui/program_modules.h"
#include "ui/resources.h"
#include "ui/riff_panel.h"

using enum CSynthPanel::ControlId;

const KnobParam g_synthKnobTable[] = {
    {kMasterVolumeKnobId, kMasterVolume}, {kOscMixKnobId, kOscMix},
    {kOscBTuneKnobId, kOscBTune}, {kOscBFineKnobId, kOscBFine},
    {kSubLevelKnobId, kSubLevel}, {kAmpAttackKnobId, kAmpAttack},
    {kAmpDecayKnobId, kAmpDecay}, {kAmpSustainKnobId, kAmpSustain},
    {kAmpLevelKnobId, kAmpLevel}, {kAmpReleaseKnobId, kAmpRelease},
    {kFltAttackKnobId, kFltAttack}, {kFltDecayKnobId, kFltDecay},
    {kFltSustainKnobId, kFltSustain}, {kFltLevelKnobId, kFltLevel},
    {kFltReleaseKnobId, kFltRelease}, {kOscAPulseKnobId, kOscAPulse},
    {kOscBPulseKnobId, kOscBPulse}, {kCutoffKnobId, kCutoff},
    {kFltEnvAmountKnobId, kFltEnvAmount}, {kLfo1PulseKnobId, kLfo1Pulse},
    {kLfo1RateKnobId, kLfo1Rate}, {kLfo1AmountKnobId, kLfo1Amount},
    {kLfo2PulseKnobId, kLfo2Pulse}, {kLfo2RateKnobId, kLfo2Rate},
    {kLfo2AmountKnobId, kLfo2Amount}, {kDistAmountKnobId, kDistAmount},
    {kDelayTimeKnobId, kDelayTime}, {kDelayFeedbackKnobId, kDelayFeedback},
    {-1, -1},
};
static_assert(std::size(g_synthKnobTable) == CSynthPanel::kKnobCount + 1, "one row per knob and the end");

std::string g_lastPresetPath;

namespace {

struct RadioGroup {
  int firstId;
  int paramIndex;
};
constexpr RadioGroup kRadioGroups[] = {
    {kOscAWaveFirstId, kOscAWave}, {kOscBWaveFirstId, kOscBWave}, {kSubWaveFirstId, kSubWave},
    {kFilterTypeFirstId, kFilterType}, {kLfo1WaveFirstId, kLfo1Wave}, {kLfo2WaveFirstId, kLfo2Wave},
};
constexpr int kRadiosPerGroup = 4;

// The four check boxes of an LFO's targets, in bit order 1, 2, 4, 8.
struct TargetBoxes {
  int ids[4];
  int paramIndex;
};
constexpr TargetBoxes kTargetBoxes[] = {
    {{kLfo1DetuneBoxId, kLfo1PulseBoxId, kLfo1VolumeBoxId, kLfo1CutoffBoxId}, kLfo1Targets},
    {{kLfo2DetuneBoxId, kLfo2PulseBoxId, kLfo2VolumeBoxId, kLfo2CutoffBoxId}, kLfo2Targets},
};

constexpr unsigned kKnob = kStyleTabStop;
constexpr unsigned kRadioFirst = kStyleGroup;
constexpr unsigned kRadio = 0;
constexpr unsigned kBox = kStyleTabStop;
constexpr unsigned kButton = kStyleTabStop;

const DialogControl kSynthControls[] = {
    {-1, ControlKind::kGroupBox, "Main A", 5, 5, 80, 55, 0},
    {-1, ControlKind::kGroupBox, "Main B", 120, 5, 160, 55, 0},
    {-1, ControlKind::kGroupBox, "Glob. Vol.", 5, 60, 45, 55, 0},
    {-1, ControlKind::kGroupBox, "Volume Env.", 55, 60, 135, 55, 0},
    {-1, ControlKind::kGroupBox, "Sub-oscillator", 195, 60, 85, 55, 0},
    {-1, ControlKind::kGroupBox, "Filter", 5, 115, 110, 55, 0},
    {-1, ControlKind::kGroupBox, "Filter Env.", 120, 115, 160, 55, 0},
    {-1, ControlKind::kGroupBox, "LFO 1", 5, 170, 185, 55, 0},
    {-1, ControlKind::kGroupBox, "LFO 2", 5, 225, 185, 55, 0},
    {-1, ControlKind::kGroupBox, "Temp. post process", 195, 185, 85, 55, 0},

    {kOscAWaveFirstId, ControlKind::kRadioButton, "Saw", 10, 15, 40, 10, kRadioFirst},
    {kOscAWaveFirstId + 1, ControlKind::kRadioButton, "Square", 10, 25, 40, 10, kRadio},
    {kOscAWaveFirstId + 2, ControlKind::kRadioButton, "Sinus", 10, 35, 40, 10, kRadio},
    {kOscAWaveFirstId + 3, ControlKind::kRadioButton, "Noise", 10, 45, 40, 10, kRadio},
    {kOscAPulseKnobId, ControlKind::kOwnerDrawButton, "Pulse", 55, 15, 25, 35, kKnob},
    {kOscMixKnobId, ControlKind::kOwnerDrawButton, "Mix", 90, 15, 25, 35, kKnob},

    {kOscBWaveFirstId, ControlKind::kRadioButton, "Saw", 125, 15, 40, 10, kRadioFirst},
    {kOscBWaveFirstId + 1, ControlKind::kRadioButton, "Square", 125, 25, 40, 10, kRadio},
    {kOscBWaveFirstId + 2, ControlKind::kRadioButton, "Sinus", 125, 35, 40, 10, kRadio},
    {kOscBWaveFirstId + 3, ControlKind::kRadioButton, "Noise", 125, 45, 40, 10, kRadio},
    {kOscBTuneKnobId, ControlKind::kOwnerDrawButton, "Tune", 170, 15, 25, 35, kKnob},
    {kOscBFineKnobId, ControlKind::kOwnerDrawButton, "Fine", 195, 15, 25, 35, kKnob},
    {kOscBPulseKnobId, ControlKind::kOwnerDrawButton, "Pulse", 220, 15, 25, 35, kKnob},
    {kFmButtonId, ControlKind::kPushButton, "FM", 245, 15, 25, 35, kButton | kStyleDisabled},
    {kSyncBoxId, ControlKind::kCheckBox, "Sync", 245, 50, 33, 9, kBox},

    {kMasterVolumeKnobId, ControlKind::kOwnerDrawButton, "Volume", 15, 70, 25, 35, kKnob},

    {kAmpAttackKnobId, ControlKind::kOwnerDrawButton, "Attack", 60, 70, 25, 35, kKnob},
    {kAmpDecayKnobId, ControlKind::kOwnerDrawButton, "Decay", 85, 70, 25, 35, kKnob},
    {kAmpSustainKnobId, ControlKind::kOwnerDrawButton, "Sustain", 110, 70, 25, 35, kKnob},
    {kAmpLevelKnobId, ControlKind::kOwnerDrawButton, "Level", 135, 70, 25, 35, kKnob},
    {kAmpReleaseKnobId, ControlKind::kOwnerDrawButton, "Release", 160, 70, 25, 35, kKnob},

    {kSubWaveFirstId, ControlKind::kRadioButton, "Saw", 201, 70, 40, 10, kRadioFirst},
    {kSubWaveFirstId + 1, ControlKind::kRadioButton, "Square", 201, 81, 40, 10, kRadio},
    {kSubWaveFirstId + 2, ControlKind::kRadioButton, "Sinus", 201, 90, 40, 10, kRadio},
    {kSubWaveFirstId + 3, ControlKind::kRadioButton, "Noise", 201, 100, 40, 10, kRadio},
    {kSubLevelKnobId, ControlKind::kOwnerDrawButton, "Level", 245, 70, 25, 35, kKnob},

    {kFilterTypeFirstId, ControlKind::kRadioButton, "Low p.", 10, 126, 40, 10, kRadioFirst},
    {kFilterTypeFirstId + 1, ControlKind::kRadioButton, "Band p.", 10, 136, 40, 10, kRadio},
    {kFilterTypeFirstId + 2, ControlKind::kRadioButton, "High p.", 10, 145, 40, 10, kRadio},
    {kFilterTypeFirstId + 3, ControlKind::kRadioButton, "None", 10, 155, 40, 10, kRadio},
    {kCutoffKnobId, ControlKind::kOwnerDrawButton, "Cutoff", 55, 125, 25, 35, kKnob},
    {kFltEnvAmountKnobId, ControlKind::kOwnerDrawButton, "Env", 80, 125, 25, 35, kKnob},

    {kFltAttackKnobId, ControlKind::kOwnerDrawButton, "Attack", 125, 125, 25, 35, kKnob},
    {kFltDecayKnobId, ControlKind::kOwnerDrawButton, "Decay", 150, 125, 25, 35, kKnob},
    {kFltSustainKnobId, ControlKind::kOwnerDrawButton, "Sustain", 175, 125, 25, 35, kKnob},
    {kFltLevelKnobId, ControlKind::kOwnerDrawButton, "Level", 200, 125, 25, 35, kKnob},
    {kFltReleaseKnobId, ControlKind::kOwnerDrawButton, "Release", 225, 125, 25, 35, kKnob},

    {kLfo1WaveFirstId, ControlKind::kRadioButton, "Saw", 10, 180, 40, 10, kRadioFirst},
    {kLfo1WaveFirstId + 1, ControlKind::kRadioButton, "Square", 10, 190, 40, 10, kRadio},
    {kLfo1WaveFirstId + 2, ControlKind::kRadioButton, "Sinus", 10, 200, 40, 10, kRadio},
    {kLfo1WaveFirstId + 3, ControlKind::kRadioButton, "Noise", 10, 210, 40, 10, kRadio},
    {kLfo1DetuneBoxId, ControlKind::kCheckBox, "Detune", 55, 180, 40, 10, kBox | kStyleGroup},
    {kLfo1PulseBoxId, ControlKind::kCheckBox, "Pulse", 55, 190, 40, 10, kBox},
    {kLfo1VolumeBoxId, ControlKind::kCheckBox, "Volume", 55, 200, 40, 10, kBox},
    {kLfo1CutoffBoxId, ControlKind::kCheckBox, "Cutoff", 55, 210, 40, 10, kBox | kStyleDisabled},
    {kLfo1PulseKnobId, ControlKind::kOwnerDrawButton, "Pulse", 105, 180, 25, 35, kKnob},
    {kLfo1RateKnobId, ControlKind::kOwnerDrawButton, "Freq.", 130, 180, 25, 35, kKnob},
    {kLfo1AmountKnobId, ControlKind::kOwnerDrawButton, "Amp.", 155, 180, 25, 35, kKnob},
    {kStaticTextId, ControlKind::kStaticText, "Static", 200, 175, 75, 10, 0},

    {kLfo2WaveFirstId, ControlKind::kRadioButton, "Saw", 10, 236, 40, 10, kRadioFirst},
    {kLfo2WaveFirstId + 1, ControlKind::kRadioButton, "Square", 10, 246, 40, 10, kRadio},
    {kLfo2WaveFirstId + 2, ControlKind::kRadioButton, "Sinus", 10, 255, 40, 10, kRadio},
    {kLfo2WaveFirstId + 3, ControlKind::kRadioButton, "Noise", 10, 265, 40, 10, kRadio},
    {kLfo2DetuneBoxId, ControlKind::kCheckBox, "Detune", 55, 236, 40, 10, kBox | kStyleGroup},
    {kLfo2PulseBoxId, ControlKind::kCheckBox, "Pulse", 55, 246, 40, 10, kBox},
    {kLfo2VolumeBoxId, ControlKind::kCheckBox, "Volume", 55, 255, 40, 10, kBox},
    {kLfo2CutoffBoxId, ControlKind::kCheckBox, "Cutoff", 55, 265, 40, 10, kBox | kStyleDisabled},
    {kLfo2PulseKnobId, ControlKind::kOwnerDrawButton, "Pulse", 105, 235, 25, 35, kKnob},
    {kLfo2RateKnobId, ControlKind::kOwnerDrawButton, "Freq.", 130, 235, 25, 35, kKnob},
    {kLfo2AmountKnobId, ControlKind::kOwnerDrawButton, "Amp.", 155, 235, 25, 35, kKnob},

    {kDistAmountKnobId, ControlKind::kOwnerDrawButton, "Dist", 200, 200, 25, 35, kKnob},
    {kDelayTimeKnobId, ControlKind::kOwnerDrawButton, "Feedb", 225, 200, 25, 35, kKnob},
    {kDelayFeedbackKnobId, ControlKind::kOwnerDrawButton, "Gain", 251, 200, 25, 35, kKnob},

    {kLoadPresetId, ControlKind::kPushButton, "Load", 200, 250, 40, 15, kButton | kStyleGroup},
    {kSavePresetId, ControlKind::kPushButton, "Save", 240, 250, 40, 15, kButton},
    {kNoteOnId, ControlKind::kPushButton, "Note ON", 200, 265, 40, 15, kButton},
    {kNoteOffId, ControlKind::kPushButton, "Note OFF", 240, 265, 40, 15, kButton},
};

const DialogTemplate kSynthTemplate = {
    "KV7. \"Tessaline\"", 282, 286,
    kDialogVisible | kDialogCaption | kDialogSystemMenu | kDialogAppWindow, kSynthControls,
    static_cast<int>(sizeof(kSynthControls) / sizeof(kSynthControls[0])),
};

}  // namespace

CSynthPanel::CSynthPanel(const PanelServices& given, CWindow* parent)
    : CDialog(kSynthTemplate, parent), services(given) {
  if (services.modules == nullptr) {
    programModules = std::make_unique<CProgramModules>(services.output);
    services.modules = programModules.get();
  }
  icon.LoadResource(kProgramIconId);
}

CSynthPanel::~CSynthPanel() {
  if (services.output != nullptr) {
    services.output->Midi().Close();
    services.output->Stop();
  }
}

bool CSynthPanel::OnInitDialog() {
  CDialog::OnInitDialog();

  presets.Build(BankKind::kSound);
  if (!presets.IsEmpty()) {
    systemMenu.AppendSubmenu(presets.GetMenu(), "Presets");
    systemMenu.AppendMenu(kMenuSeparator);
  }
  // No desktop here lets a program extend a window's own menu, so the About entry lives in the
  // panel's right-click menu and ends in the same command.
  if (Template().style & kDialogSystemMenu) {
    const char* aboutEntry = LoadResourceString(kAboutEntryStringId);
    if (aboutEntry[0] != '\0') {
      systemMenu.AppendMenu(kMenuString, kAboutCommand, aboutEntry);
    }
  }
  SetIcon(icon, true);
  SetIcon(icon, false);
  if (services.output == nullptr) {
    RefreshControls();
    return true;
  }
  systemMenu.AppendMenu(kMenuString, kLowLatencyCommand, "&Low latency");
  systemMenu.AppendMenu(kMenuString | kMenuGrayed, kSoundStatusCommand, "Sound: none");

  StartProgramModules();
  RefreshControls();
  if (!services.startPreset.empty()) {
    LoadPresetFile(services.startPreset);
  }

  midiTarget = std::make_unique<CVoiceNoteTarget>(*g_voice);
  midiLearn = std::make_unique<CMidiLearn>(*midiTarget);
  PanelServices riffServices = services;
  riffServices.midiLearn = midiLearn.get();
  g_riffPanel = new CRiffPanel(riffServices);
  g_riffPanel->Create();
  PlaceSideBySide(*this, *g_riffPanel);
  g_riffPanel->ShowWindow(kShowNormal);
  midiLearn->Start(*this, *g_riffPanel);

  voiceTarget = std::make_unique<CVoiceNoteTarget>(*g_voice);
  keyboard = std::make_unique<CComputerKeyboard>(*voiceTarget);
  keyboard->Watch(GetWidget());
  keyboard->Watch(g_riffPanel->GetWidget());

  // Sound comes last, once everything it reads exists; without a device the program runs silent.
  // MIDI opens first, so that a low-latency output holding its own JACK MIDI port can close the
  // MIDI input's one.
  COutputSwitch& output = *services.output;
  output.Midi().Close();
  output.Midi().Open(*midiLearn);
  g_audioStream.SetWindow(GetWidget());
  output.Start(services.startMode, &RenderBlock, midiLearn.get());
  systemMenu.CheckMenuItem(kLowLatencyCommand, output.GetMode() == OutputMode::kLowLatency);
  return true;
}

void CSynthPanel::DoDataExchange() {
  for (int k = 0; k < kKnobCount; ++k) {
    BindControl(g_synthKnobTable[k].controlId, knobs[k]);
  }
}

void CSynthPanel::RefreshControls() {
  g_knobCallback = &CSynthPanel::OnSynthKnob;
  for (int k = 0; k < kKnobCount; ++k) {
    const int param = g_synthKnobTable[k].paramIndex;
    knobs[k].Describe(&kVoiceParams[param]);
    knobs[k].SetRange(kVoiceParams[param].minimum, kVoiceParams[param].maximum, Modules().VoiceParam(param));
  }
  for (const RadioGroup& group : kRadioGroups) {
    CheckRadioButton(group.firstId, group.firstId + kRadiosPerGroup - 1,
                     group.firstId + Modules().VoiceParam(group.paramIndex));
  }
  for (const TargetBoxes& boxes : kTargetBoxes) {
    const int mask = Modules().VoiceParam(boxes.paramIndex);
    for (int bit = 0; bit < 4; ++bit) {
      CheckDlgButton(boxes.ids[bit], (mask & (1 << bit)) != 0 ? kChecked : kUnchecked);
    }
  }
  CheckDlgButton(kSyncBoxId, Modules().VoiceParam(kOscSync) != 0 ? kChecked : kUnchecked);
  InvalidateRect(nullptr, true);
}

void CSynthPanel::OnSynthKnob(int controlId, int value) {
  auto* panel = dynamic_cast<CSynthPanel*>(CDialog::OfControl(CKnob::Reporter()));
  const int param = ParamOfKnob(g_synthKnobTable, controlId);
  if (panel != nullptr && param >= 0) {
    panel->Modules().SetVoiceParam(param, value);
  }
}

bool CSynthPanel::OnCommand(WParam wParam, LParam lParam) {
  for (const RadioGroup& group : kRadioGroups) {
    const WParam first = static_cast<WParam>(group.firstId);
    if (wParam >= first && wParam < first + kRadiosPerGroup) {
      Modules().SetVoiceParam(group.paramIndex, static_cast<int>(wParam - first));
    }
  }
  for (const TargetBoxes& boxes : kTargetBoxes) {
    for (int id : boxes.ids) {
      if (wParam != static_cast<WParam>(id)) {
        continue;
      }
      // The disabled box counts too, so a bit that only a preset can set survives a click.
      int mask = 0;
      for (int bit = 0; bit < 4; ++bit) {
        if (IsDlgButtonChecked(boxes.ids[bit]) != kUnchecked) {
          mask += 1 << bit;
        }
      }
      Modules().SetVoiceParam(boxes.paramIndex, mask);
    }
  }
  if (wParam == static_cast<WParam>(kSyncBoxId)) {
    Modules().SetVoiceParam(kOscSync, IsDlgButtonChecked(kSyncBoxId));
  }
  return CDialog::OnCommand(wParam, lParam);
}

bool CSynthPanel::HandleCommand(int id, int code) {
  if (code != kNotifyClicked) {
    return CDialog::HandleCommand(id, code);
  }
  switch (id) {
    case kNoteOnId:
      OnNoteOn();
      return true;
    case kNoteOffId:
      OnNoteOff();
      return true;
    case kLoadPresetId:
      OnLoadPreset();
      return true;
    case kSavePresetId:
      OnSavePreset();
      return true;
    default:
      return CDialog::HandleCommand(id, code);
  }
}

void CSynthPanel::OnClose() {
  if (keyboard) keyboard->ReleaseAll();
  if (services.output != nullptr) {
    services.output->Stop();
    g_wavRecorder.Finish();
  }
  CDialog::OnClose();
}

// Escape shuts down in the same order as the close box; Enter has nothing to confirm. In a plugin
// window the host closes it, so neither does anything.
bool CSynthPanel::OnKeyPress(int key) {
  if (key == kKeyEscape && services.output != nullptr) {
    OnClose();
  }
  return true;
}

void CSynthPanel::OnContextMenu(int screenX, int screenY) {
  if (const int id = LearnableControlAt(screenX, screenY); id != 0 && midiLearn) {
    CPopupMenu learnMenu;
    midiLearn->FillMenu(learnMenu, *this, id);
    midiLearn->OnMenuCommand(*this, id, learnMenu.TrackPopupMenu(screenX, screenY, this));
    return;
  }
  // The output may have changed by itself since (a server lost, or back), so this is read now.
  if (services.output != nullptr) {
    systemMenu.SetMenuItemText(kSoundStatusCommand, services.output->GetStatus().c_str());
    systemMenu.CheckMenuItem(kLowLatencyCommand, services.output->GetMode() == OutputMode::kLowLatency);
  }
  const int command = systemMenu.TrackPopupMenu(screenX, screenY, this);
  if (command != 0) {
    OnSysCommand(command, 0);
  }
}

void CSynthPanel::OnSysCommand(int id, LParam) {
  // A bank sound loads like a chosen file, but the dialogs keep remembering the user's own path.
  if (const BankEntry* entry = presets.EntryOf(id)) {
    LoadPresetFile(entry->path);
  } else if ((id & 0xFFF0) == kAboutCommand) {
    CAboutBox about(this);
    about.DoModal();
  } else if (id == kLowLatencyCommand && services.output != nullptr) {
    OnLowLatency();
  }
}

// The choice is kept for the next run even when no low-latency output can start now; the check
// mark shows the output that actually plays.
void CSynthPanel::OnLowLatency() {
  const bool wanted = !systemMenu.IsMenuItemChecked(kLowLatencyCommand);
  services.output->Switch(wanted ? OutputMode::kLowLatency : OutputMode::kClassic);
  systemMenu.CheckMenuItem(kLowLatencyCommand, services.output->GetMode() == OutputMode::kLowLatency);
  QSettings settings(kSettingsOrganization, kSettingsApplication);
  settings.setValue(kLowLatencySetting, wanted);
}

int CSynthPanel::LearnableControlAt(int screenX, int screenY) const {
  int id = ControlIdAt(screenX, screenY);
  for (const RadioGroup& group : kRadioGroups) {
    if (id >= group.firstId && id < group.firstId + kRadiosPerGroup) id = group.firstId;
  }
  return LearnName(id).empty() ? 0 : id;
}

std::string CSynthPanel::LearnName(int controlId) const {
  if (const int param = ParamOfKnob(g_synthKnobTable, controlId); param >= 0) return kVoiceParams[param].name;
  for (const RadioGroup& group : kRadioGroups) {
    if (controlId == group.firstId) return kVoiceParams[group.paramIndex].name;
  }
  // A box the panel disables sets a bit only a preset can: no controller sets it either.
  const QWidget* box = GetDlgItem(controlId);
  if (box == nullptr || !box->isEnabled()) return "";
  for (const TargetBoxes& boxes : kTargetBoxes) {
    for (int bit = 0; bit < 4; ++bit) {
      if (controlId == boxes.ids[bit]) return std::string(kVoiceParams[boxes.paramIndex].name) + ":" + std::to_string(bit);
    }
  }
  return controlId == kSyncBoxId ? kVoiceParams[kOscSync].name : "";
}

int CSynthPanel::LearnControlNamed(const std::string& name) const {
  std::vector<int> ids = {kSyncBoxId};
  for (int k = 0; k < kKnobCount; ++k) ids.push_back(g_synthKnobTable[k].controlId);
  for (const RadioGroup& group : kRadioGroups) ids.push_back(group.firstId);
  for (const TargetBoxes& boxes : kTargetBoxes) ids.insert(ids.end(), std::begin(boxes.ids), std::end(boxes.ids));
  for (int id : ids) {
    if (!name.empty() && LearnName(id) == name) return id;
  }
  return 0;
}

void CSynthPanel::ApplyController(int controlId, int value) {
  if (TurnKnob(g_synthKnobTable, knobs, controlId, value)) return;
  for (const RadioGroup& group : kRadioGroups) {
    if (controlId == group.firstId) {
      // The controller's range in four equal parts, one a button.
      const int chosen = group.firstId + value * kRadiosPerGroup / (kControllerMax + 1);
      CheckRadioButton(group.firstId, group.firstId + kRadiosPerGroup - 1, chosen);
      OnCommand(MakeWParam(chosen, kNotifyClicked), 0);
      return;
    }
  }
  if (!LearnName(controlId).empty()) {
    CheckDlgButton(controlId, value > kControllerMax / 2 ? kChecked : kUnchecked);
    OnCommand(MakeWParam(controlId, kNotifyClicked), 0);
  }
}

void CSynthPanel::OnNoteOn() { Modules().NoteOn(); }

void CSynthPanel::OnNoteOff() { Modules().NoteOff(); }

void CSynthPanel::OnLoadPreset() {
  // Until the user has chosen a path, the dialog opens on the factory bank.
  if (CFilePicker::Ask(services.askFile, true, nullptr, "Marrick KV7|*.kv7|All|*.*", g_lastPresetPath,
                       CBankCatalog::Installed().FolderOf(BankKind::kSound))) {
    LoadPresetFile(g_lastPresetPath);
  }
}

void CSynthPanel::LoadPresetFile(const std::string& path) {
  std::string reason;
  if (!Modules().LoadPreset(path, &reason)) {
    CMessageBox::ShowError(this, FileFailureText("load the preset", path, reason) + " Nothing was changed.");
    return;
  }
  RefreshControls();
}

void CSynthPanel::OnSavePreset() {
  std::string reason;
  if (CFilePicker::Ask(services.askFile, false, "kv7", "Marrick KV7|*.kv7", g_lastPresetPath) &&
      !Modules().SavePreset(g_lastPresetPath, &reason)) {
    CMessageBox::ShowError(this, FileFailureText("save the preset", g_lastPresetPath, reason) + kEarlierFileKept);
  }
}
