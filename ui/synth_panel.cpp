// CSynthPanel: layout, start-up, refresh, knob and button handling, presets and shut-down.
#include "ui/synth_panel.h"

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/audio_stream.h"
#include "output/block_renderer.h"
#include "output/post_process_params.h"
#include "output/wav_recorder.h"
#include "platform/file_picker.h"
#include "platform/midi_input.h"
#include "sequencer/riff_player.h"
#include "sequencer/voice_note_target.h"
#include "ui/about_box.h"
#include "ui/resources.h"
#include "ui/riff_panel.h"

const KnobParam g_synthKnobTable[] = {
    {1040, kMasterVolume}, {1001, kOscMix},     {1003, kOscBTune},     {1005, kOscBFine},
    {1014, kSubLevel},     {1009, kAmpAttack},  {1010, kAmpDecay},     {1011, kAmpSustain},
    {1012, kAmpLevel},     {1013, kAmpRelease}, {1015, kFltAttack},    {1028, kFltDecay},
    {1029, kFltSustain},   {1030, kFltLevel},   {1031, kFltRelease},   {1002, kOscAPulse},
    {1004, kOscBPulse},    {1037, kCutoff},     {1032, kFltEnvAmount}, {1042, kLfo1Pulse},
    {1043, kLfo1Rate},     {1044, kLfo1Amount}, {1053, kLfo2Pulse},    {1054, kLfo2Rate},
    {1055, kLfo2Amount},   {1066, kDistAmount}, {1067, kDelayTime},    {1068, kDelayFeedback},
    {-1, -1},
};

std::string g_lastPresetPath;

namespace {

constexpr unsigned kFileDialogFlags = kFileHideReadOnly | kFileOverwritePrompt | kFilePathMustExist;

// The MIDI input plays the voice through this target from its own threads until it is closed, at
// the latest at exit, so the target is replaced only while the input is closed and never freed.
CVoiceNoteTarget* midiTarget = nullptr;

// The knob members in their binding order.
constexpr int kKnobIds[CSynthPanel::kKnobCount] = {
    1040, 1002, 1004, 1001, 1003, 1005, 1014, 1009, 1010, 1011, 1012, 1013, 1015, 1028,
    1029, 1030, 1031, 1037, 1032, 1042, 1043, 1044, 1053, 1054, 1055, 1066, 1067, 1068,
};

struct RadioGroup {
  int firstId;
  int paramIndex;
};
constexpr RadioGroup kRadioGroups[] = {
    {1016, kOscAWave}, {1020, kOscBWave}, {1024, kSubWave},
    {1033, kFilterType}, {1045, kLfo1Wave}, {1056, kLfo2Wave},
};
constexpr int kRadiosPerGroup = 4;

// The four check boxes of an LFO's targets, in bit order 1, 2, 4, 8.
struct TargetBoxes {
  int ids[4];
  int paramIndex;
};
constexpr TargetBoxes kTargetBoxes[] = {
    {{1041, 1049, 1050, 1051}, kLfo1Targets},
    {{1060, 1061, 1062, 1063}, kLfo2Targets},
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

    {1016, ControlKind::kRadioButton, "Saw", 10, 15, 40, 10, kRadioFirst},
    {1017, ControlKind::kRadioButton, "Square", 10, 25, 40, 10, kRadio},
    {1018, ControlKind::kRadioButton, "Sinus", 10, 35, 40, 10, kRadio},
    {1019, ControlKind::kRadioButton, "Noise", 10, 45, 40, 10, kRadio},
    {1002, ControlKind::kOwnerDrawButton, "Pulse", 55, 15, 25, 35, kKnob},
    {1001, ControlKind::kOwnerDrawButton, "Mix", 90, 15, 25, 35, kKnob},

    {1020, ControlKind::kRadioButton, "Saw", 125, 15, 40, 10, kRadioFirst},
    {1021, ControlKind::kRadioButton, "Square", 125, 25, 40, 10, kRadio},
    {1022, ControlKind::kRadioButton, "Sinus", 125, 35, 40, 10, kRadio},
    {1023, ControlKind::kRadioButton, "Noise", 125, 45, 40, 10, kRadio},
    {1003, ControlKind::kOwnerDrawButton, "Tune", 170, 15, 25, 35, kKnob},
    {1005, ControlKind::kOwnerDrawButton, "Fine", 195, 15, 25, 35, kKnob},
    {1004, ControlKind::kOwnerDrawButton, "Pulse", 220, 15, 25, 35, kKnob},
    {1006, ControlKind::kPushButton, "FM", 245, 15, 25, 35, kButton | kStyleDisabled},
    {CSynthPanel::kSyncBoxId, ControlKind::kCheckBox, "Sync", 245, 50, 33, 9, kBox},

    {1040, ControlKind::kOwnerDrawButton, "Volume", 15, 70, 25, 35, kKnob},

    {1009, ControlKind::kOwnerDrawButton, "Attack", 60, 70, 25, 35, kKnob},
    {1010, ControlKind::kOwnerDrawButton, "Decay", 85, 70, 25, 35, kKnob},
    {1011, ControlKind::kOwnerDrawButton, "Sustain", 110, 70, 25, 35, kKnob},
    {1012, ControlKind::kOwnerDrawButton, "Level", 135, 70, 25, 35, kKnob},
    {1013, ControlKind::kOwnerDrawButton, "Release", 160, 70, 25, 35, kKnob},

    {1024, ControlKind::kRadioButton, "Saw", 201, 70, 40, 10, kRadioFirst},
    {1025, ControlKind::kRadioButton, "Square", 201, 81, 40, 10, kRadio},
    {1026, ControlKind::kRadioButton, "Sinus", 201, 90, 40, 10, kRadio},
    {1027, ControlKind::kRadioButton, "Noise", 201, 100, 40, 10, kRadio},
    {1014, ControlKind::kOwnerDrawButton, "Level", 245, 70, 25, 35, kKnob},

    {1033, ControlKind::kRadioButton, "Low p.", 10, 126, 40, 10, kRadioFirst},
    {1034, ControlKind::kRadioButton, "Band p.", 10, 136, 40, 10, kRadio},
    {1035, ControlKind::kRadioButton, "High p.", 10, 145, 40, 10, kRadio},
    {1036, ControlKind::kRadioButton, "None", 10, 155, 40, 10, kRadio},
    {1037, ControlKind::kOwnerDrawButton, "Cutoff", 55, 125, 25, 35, kKnob},
    {1032, ControlKind::kOwnerDrawButton, "Env", 80, 125, 25, 35, kKnob},

    {1015, ControlKind::kOwnerDrawButton, "Attack", 125, 125, 25, 35, kKnob},
    {1028, ControlKind::kOwnerDrawButton, "Decay", 150, 125, 25, 35, kKnob},
    {1029, ControlKind::kOwnerDrawButton, "Sustain", 175, 125, 25, 35, kKnob},
    {1030, ControlKind::kOwnerDrawButton, "Level", 200, 125, 25, 35, kKnob},
    {1031, ControlKind::kOwnerDrawButton, "Release", 225, 125, 25, 35, kKnob},

    {1045, ControlKind::kRadioButton, "Saw", 10, 180, 40, 10, kRadioFirst},
    {1046, ControlKind::kRadioButton, "Square", 10, 190, 40, 10, kRadio},
    {1047, ControlKind::kRadioButton, "Sinus", 10, 200, 40, 10, kRadio},
    {1048, ControlKind::kRadioButton, "Noise", 10, 210, 40, 10, kRadio},
    {1041, ControlKind::kCheckBox, "Detune", 55, 180, 40, 10, kBox | kStyleGroup},
    {1049, ControlKind::kCheckBox, "Pulse", 55, 190, 40, 10, kBox},
    {1050, ControlKind::kCheckBox, "Volume", 55, 200, 40, 10, kBox},
    {1051, ControlKind::kCheckBox, "Cutoff", 55, 210, 40, 10, kBox | kStyleDisabled},
    {1042, ControlKind::kOwnerDrawButton, "Pulse", 105, 180, 25, 35, kKnob},
    {1043, ControlKind::kOwnerDrawButton, "Freq.", 130, 180, 25, 35, kKnob},
    {1044, ControlKind::kOwnerDrawButton, "Amp.", 155, 180, 25, 35, kKnob},
    {1052, ControlKind::kStaticText, "Static", 200, 175, 75, 10, 0},

    {1056, ControlKind::kRadioButton, "Saw", 10, 236, 40, 10, kRadioFirst},
    {1057, ControlKind::kRadioButton, "Square", 10, 246, 40, 10, kRadio},
    {1058, ControlKind::kRadioButton, "Sinus", 10, 255, 40, 10, kRadio},
    {1059, ControlKind::kRadioButton, "Noise", 10, 265, 40, 10, kRadio},
    {1060, ControlKind::kCheckBox, "Detune", 55, 236, 40, 10, kBox | kStyleGroup},
    {1061, ControlKind::kCheckBox, "Pulse", 55, 246, 40, 10, kBox},
    {1062, ControlKind::kCheckBox, "Volume", 55, 255, 40, 10, kBox},
    {1063, ControlKind::kCheckBox, "Cutoff", 55, 265, 40, 10, kBox | kStyleDisabled},
    {1053, ControlKind::kOwnerDrawButton, "Pulse", 105, 235, 25, 35, kKnob},
    {1054, ControlKind::kOwnerDrawButton, "Freq.", 130, 235, 25, 35, kKnob},
    {1055, ControlKind::kOwnerDrawButton, "Amp.", 155, 235, 25, 35, kKnob},

    {1066, ControlKind::kOwnerDrawButton, "Dist", 200, 200, 25, 35, kKnob},
    {1067, ControlKind::kOwnerDrawButton, "Feedb", 225, 200, 25, 35, kKnob},
    {1068, ControlKind::kOwnerDrawButton, "Gain", 251, 200, 25, 35, kKnob},

    {1064, ControlKind::kPushButton, "Load", 200, 250, 40, 15, kButton | kStyleGroup},
    {1065, ControlKind::kPushButton, "Save", 240, 250, 40, 15, kButton},
    {1007, ControlKind::kPushButton, "Note ON", 200, 265, 40, 15, kButton},
    {1008, ControlKind::kPushButton, "Note OFF", 240, 265, 40, 15, kButton},
};

const DialogTemplate kSynthTemplate = {
    "KV7. \"Tessaline\"", 282, 286,
    kDialogVisible | kDialogCaption | kDialogSystemMenu | kDialogAppWindow, kSynthControls,
    static_cast<int>(sizeof(kSynthControls) / sizeof(kSynthControls[0])),
};

void DrainRecorder() { g_wavRecorder.Drain(); }

}  // namespace

CSynthPanel::CSynthPanel(CWindow* parent) : CDialog(kSynthTemplate, parent) {
  icon.LoadResource(kProgramIconId);
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

  StartProgramModules();
  RefreshControls();

  g_riffPanel = new CRiffPanel();
  g_riffPanel->Create();
  PlaceSideBySide(*this, *g_riffPanel);
  g_riffPanel->ShowWindow(kShowNormal);

  // Sound comes last, once everything it reads exists; without a device the program runs silent.
  g_audioStream.SetWindow(GetWidget());
  g_audioStream.Start(&RenderBlock);
  g_midiInput.Close();
  delete midiTarget;
  midiTarget = new CVoiceNoteTarget(*g_voice);
  g_midiInput.Open(*midiTarget);
  drainTimer.Start(kDrainIntervalMs, &DrainRecorder);
  return true;
}

void CSynthPanel::DoDataExchange() {
  for (int k = 0; k < kKnobCount; ++k) {
    BindControl(kKnobIds[k], knobs[k]);
  }
}

void CSynthPanel::RefreshControls() {
  g_knobCallback = &CSynthPanel::OnSynthKnob;
  for (int k = 0; k < kKnobCount; ++k) {
    const int param = ParamOfKnob(g_synthKnobTable, kKnobIds[k]);
    knobs[k].Describe(&kVoiceParams[param]);
    knobs[k].SetRange(kVoiceParams[param].minimum, kVoiceParams[param].maximum, g_voice->GetParam(param));
  }
  for (const RadioGroup& group : kRadioGroups) {
    CheckRadioButton(group.firstId, group.firstId + kRadiosPerGroup - 1,
                     group.firstId + g_voice->GetParam(group.paramIndex));
  }
  for (const TargetBoxes& boxes : kTargetBoxes) {
    const int mask = g_voice->GetParam(boxes.paramIndex);
    for (int bit = 0; bit < 4; ++bit) {
      CheckDlgButton(boxes.ids[bit], (mask & (1 << bit)) != 0 ? kChecked : kUnchecked);
    }
  }
  CheckDlgButton(kSyncBoxId, g_voice->GetParam(kOscSync) != 0 ? kChecked : kUnchecked);
  InvalidateRect(nullptr, true);
}

void CSynthPanel::OnSynthKnob(int controlId, int value) {
  for (const KnobParam* row = g_synthKnobTable; row->controlId > 0; ++row) {
    if (row->controlId == controlId) {
      g_voice->SetParam(row->paramIndex, static_cast<ParamValue>(value));
      ApplyPostProcessParam(row->paramIndex, value);
    }
  }
}

bool CSynthPanel::OnCommand(WParam wParam, LParam lParam) {
  for (const RadioGroup& group : kRadioGroups) {
    const WParam first = static_cast<WParam>(group.firstId);
    if (wParam >= first && wParam < first + kRadiosPerGroup) {
      g_voice->SetParam(group.paramIndex, static_cast<ParamValue>(wParam - first));
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
      g_voice->SetParam(boxes.paramIndex, static_cast<ParamValue>(mask));
    }
  }
  if (wParam == static_cast<WParam>(kSyncBoxId)) {
    g_voice->SetParam(kOscSync, static_cast<ParamValue>(IsDlgButtonChecked(kSyncBoxId)));
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
  g_audioStream.Stop();
  g_wavRecorder.Finish();
  CDialog::OnClose();
}

// Escape shuts down in the same order as the close box; Enter has nothing to confirm.
bool CSynthPanel::OnKeyPress(int key) {
  if (key == kKeyEscape) {
    OnClose();
  }
  return true;
}

void CSynthPanel::OnContextMenu(int screenX, int screenY) {
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
  }
}

void CSynthPanel::OnNoteOn() {
  if (g_voice != nullptr) {
    g_voice->NoteOn();
  }
}

void CSynthPanel::OnNoteOff() {
  if (g_voice != nullptr) {
    g_voice->NoteOff();
  }
}

void CSynthPanel::OnLoadPreset() {
  // Until the user has chosen a path, the dialog opens on the factory bank.
  const std::string bankFolder = CBankCatalog::Installed().FolderOf(BankKind::kSound);
  const std::string start = g_lastPresetPath.empty() && !bankFolder.empty() ? bankFolder + "/" : g_lastPresetPath;
  CFilePicker picker(true, nullptr, start, kFileDialogFlags, "Marrick KV7|*.kv7|All|*.*");
  if (picker.DoModal() != kIdOk || picker.GetPathName().empty()) {
    return;
  }
  g_lastPresetPath = picker.GetPathName();
  LoadPresetFile(g_lastPresetPath);
}

void CSynthPanel::LoadPresetFile(const std::string& path) {
  g_voice->LoadParams(path.c_str());
  ApplyPostProcessParams(*g_voice);
  RefreshControls();
}

void CSynthPanel::OnSavePreset() {
  CFilePicker picker(false, "kv7", g_lastPresetPath, kFileDialogFlags, "Marrick KV7|*.kv7");
  if (picker.DoModal() != kIdOk || picker.GetPathName().empty()) {
    return;
  }
  g_lastPresetPath = picker.GetPathName();
  g_voice->SaveParams(g_lastPresetPath.c_str());
}
