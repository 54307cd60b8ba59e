// CRiffPanel: layout, refresh, knob and gate handling, the step light, and the riff and recording
// dialogs.
#include "ui/riff_panel.h"

#include <QSettings>

#include "files/output_file.h"
#include "output/wav_recorder.h"
#include "platform/window/file_picker.h"
#include "platform/window/message_box.h"
#include "sequencer/riff_params.h"
#include "ui/file_failure_text.h"
#include "ui/midi_learn.h"
#include "ui/synth_panel.h"

const KnobParam g_riffKnobTable[] = {
    {1053, kStepNote0 + 0},  {1054, kStepNote0 + 1},  {1055, kStepNote0 + 2},
    {1056, kStepNote0 + 3},  {1057, kStepNote0 + 4},  {1058, kStepNote0 + 5},
    {1059, kStepNote0 + 6},  {1060, kStepNote0 + 7},  {1061, kStepNote0 + 8},
    {1062, kStepNote0 + 9},  {1063, kStepNote0 + 10}, {1064, kStepNote0 + 11},
    {1065, kStepNote0 + 12}, {1066, kStepNote0 + 13}, {1067, kStepNote0 + 14},
    {1068, kStepNote0 + 15}, {1086, kBpm},            {1087, kTranspose},
    {-1, -1},
};

std::string g_lastRiffPath;
std::string g_lastWavPath;
CRiffPanel* g_riffPanel = nullptr;

namespace {

constexpr int kKnobStyle = kStyleTabStop;
constexpr int kGateStyle = kStyleTabStop;
constexpr int kButtonStyle = kStyleTabStop;

const DialogControl kRiffControls[] = {
    {1070, ControlKind::kCheckBox, "", 15, 5, 10, 10, kGateStyle},
    {1053, ControlKind::kOwnerDrawButton, "Pulse", 5, 20, 25, 35, kKnobStyle},
    {1071, ControlKind::kCheckBox, "", 41, 5, 10, 10, kGateStyle},
    {1054, ControlKind::kOwnerDrawButton, "Pulse", 31, 20, 25, 35, kKnobStyle},
    {1072, ControlKind::kCheckBox, "", 65, 5, 10, 10, kGateStyle},
    {1055, ControlKind::kOwnerDrawButton, "Pulse", 55, 20, 25, 35, kKnobStyle},
    {1073, ControlKind::kCheckBox, "", 91, 5, 10, 10, kGateStyle},
    {1056, ControlKind::kOwnerDrawButton, "Pulse", 81, 20, 25, 35, kKnobStyle},
    {1074, ControlKind::kCheckBox, "", 115, 5, 10, 10, kGateStyle},
    {1057, ControlKind::kOwnerDrawButton, "Pulse", 105, 20, 25, 35, kKnobStyle},
    {1075, ControlKind::kCheckBox, "", 141, 5, 10, 10, kGateStyle},
    {1058, ControlKind::kOwnerDrawButton, "Pulse", 131, 20, 25, 35, kKnobStyle},
    {1076, ControlKind::kCheckBox, "", 165, 5, 10, 10, kGateStyle},
    {1059, ControlKind::kOwnerDrawButton, "Pulse", 155, 20, 25, 35, kKnobStyle},
    {1077, ControlKind::kCheckBox, "", 191, 5, 10, 10, kGateStyle},
    {1060, ControlKind::kOwnerDrawButton, "Pulse", 181, 20, 25, 35, kKnobStyle},
    {1078, ControlKind::kCheckBox, "", 215, 5, 10, 10, kGateStyle},
    {1061, ControlKind::kOwnerDrawButton, "Pulse", 205, 20, 25, 35, kKnobStyle},
    {1079, ControlKind::kCheckBox, "", 241, 5, 10, 10, kGateStyle},
    {1062, ControlKind::kOwnerDrawButton, "Pulse", 231, 20, 25, 35, kKnobStyle},
    {1080, ControlKind::kCheckBox, "", 265, 5, 10, 10, kGateStyle},
    {1063, ControlKind::kOwnerDrawButton, "Pulse", 255, 20, 25, 35, kKnobStyle},
    {1081, ControlKind::kCheckBox, "", 291, 5, 10, 10, kGateStyle},
    {1064, ControlKind::kOwnerDrawButton, "Pulse", 281, 20, 25, 35, kKnobStyle},
    {1082, ControlKind::kCheckBox, "", 315, 5, 10, 10, kGateStyle},
    {1065, ControlKind::kOwnerDrawButton, "Pulse", 305, 20, 25, 35, kKnobStyle},
    {1083, ControlKind::kCheckBox, "", 341, 5, 10, 10, kGateStyle},
    {1066, ControlKind::kOwnerDrawButton, "Pulse", 331, 20, 25, 35, kKnobStyle},
    {1084, ControlKind::kCheckBox, "", 365, 5, 10, 10, kGateStyle},
    {1067, ControlKind::kOwnerDrawButton, "Pulse", 355, 20, 25, 35, kKnobStyle},
    {1085, ControlKind::kCheckBox, "", 391, 5, 10, 10, kGateStyle},
    {1068, ControlKind::kOwnerDrawButton, "Pulse", 381, 20, 25, 35, kKnobStyle},
    {1086, ControlKind::kOwnerDrawButton, "BPM", 5, 60, 25, 35, kKnobStyle},
    {1087, ControlKind::kOwnerDrawButton, "Transp.", 30, 60, 25, 35, kKnobStyle},
    {1038, ControlKind::kPushButton, "Record", 260, 60, 45, 15, kButtonStyle},
    {1040, ControlKind::kPushButton, "Stop rec.", 260, 75, 45, 15, kButtonStyle},
    {1041, ControlKind::kPushButton, "Load", 315, 60, 45, 15, kButtonStyle},
    {1042, ControlKind::kPushButton, "Save", 315, 75, 45, 15, kButtonStyle},
    {1069, ControlKind::kPushButton, "Play", 360, 60, 45, 15, kButtonStyle},
    {1039, ControlKind::kPushButton, "Stop", 360, 75, 45, 15, kButtonStyle},
};

// No close box: the panel stays for the whole run.
const DialogTemplate kRiffTemplate = {
    "", 412, 122, kDialogCaption | kDialogForeground, kRiffControls,
    static_cast<int>(sizeof(kRiffControls) / sizeof(kRiffControls[0])),
};

}  // namespace

CRiffPanel::CRiffPanel(const PanelServices& given, CWindow* parent)
    : CDialog(kRiffTemplate, parent), services(given) {}

bool CRiffPanel::OnInitDialog() {
  CDialog::OnInitDialog();
  g_knobCallback = &CRiffPanel::OnRiffKnob;
  RefreshControls();
  if (!services.startRiff.empty()) {
    LoadRiffFile(services.startRiff);
  }
  if (services.output == nullptr) {
    for (int id : {kRecordId, kStopRecordId}) {
      if (QWidget* button = GetDlgItem(id)) button->setEnabled(false);
    }
  }
  riffs.Build(BankKind::kRiff);
  if (!riffs.IsEmpty()) {
    contextMenu.AppendSubmenu(riffs.GetMenu(), "Riffs");
  }
  // In a plugin window the host's own transport rules, through the plugin's "Follow host".
  if (services.output == nullptr) {
    return true;
  }
  if (!riffs.IsEmpty()) {
    contextMenu.AppendMenu(kMenuSeparator);
  }
  contextMenu.AppendMenu(kMenuString, kFollowTransportCommand, "Follow JACK transport");
  contextMenu.CheckMenuItem(kFollowTransportCommand, services.followTransport);
  services.output->SetFollowTransport(services.followTransport);
  if (services.followTransport) stepLightTimer.Start(kStepLightIntervalMs, &CRiffPanel::OnStepLightTimer);
  return true;
}

void CRiffPanel::DoDataExchange() {
  for (int k = 0; k < kKnobCount; ++k) {
    BindControl(g_riffKnobTable[k].controlId, knobs[k]);
  }
}

void CRiffPanel::RefreshControls() {
  g_knobCallback = &CRiffPanel::OnRiffKnob;
  for (int k = 0; k < kKnobCount; ++k) {
    const int param = g_riffKnobTable[k].paramIndex;
    knobs[k].Describe(&kRiffParams[param]);
    knobs[k].SetRange(kRiffParams[param].minimum, kRiffParams[param].maximum,
                      Modules().RiffParam(param));
  }
  for (int k = 0; k < kStepCount; ++k) {
    CheckDlgButton(kFirstGateId + k, Modules().RiffParam(kStepGate0 + k) != 0 ? kChecked : kUnchecked);
  }
  InvalidateRect(nullptr, true);
}

void CRiffPanel::OnRiffKnob(int controlId, int value) {
  auto* panel = dynamic_cast<CRiffPanel*>(CDialog::OfControl(CKnob::Reporter()));
  const int param = ParamOfKnob(g_riffKnobTable, controlId);
  if (panel != nullptr && param >= 0) {
    panel->Modules().SetRiffParam(param, value);
  }
}

bool CRiffPanel::OnCommand(WParam wParam, LParam lParam) {
  if (wParam >= static_cast<WParam>(kFirstGateId) && wParam < static_cast<WParam>(kFirstGateId + kStepCount)) {
    const int step = static_cast<int>(wParam) - kFirstGateId;
    Modules().SetRiffParam(kStepGate0 + step, IsDlgButtonChecked(kFirstGateId + step));
  }
  return CDialog::OnCommand(wParam, lParam);
}

bool CRiffPanel::HandleCommand(int id, int code) {
  if (code != kNotifyClicked) {
    return CDialog::HandleCommand(id, code);
  }
  switch (id) {
    case kPlayId:
      OnPlay();
      return true;
    case kStopId:
      OnStop();
      return true;
    case kLoadId:
      OnLoadRiff();
      return true;
    case kSaveId:
      OnSaveRiff();
      return true;
    case kStopRecordId:
      if (services.output != nullptr) OnStopRecord();
      return true;
    case kRecordId:
      if (services.output != nullptr) OnRecord();
      return true;
    default:
      return CDialog::HandleCommand(id, code);
  }
}

bool CRiffPanel::OnKeyPress(int) { return true; }

void CRiffPanel::OnContextMenu(int screenX, int screenY) {
  if (const int id = LearnableControlAt(screenX, screenY); id != 0 && services.midiLearn != nullptr) {
    CPopupMenu learnMenu;
    services.midiLearn->FillMenu(learnMenu, *this, id);
    services.midiLearn->OnMenuCommand(*this, id, learnMenu.TrackPopupMenu(screenX, screenY, this));
    return;
  }
  const int command = contextMenu.TrackPopupMenu(screenX, screenY, this);
  if (command != 0) {
    OnMenuCommand(command);
  }
}

void CRiffPanel::OnMenuCommand(int id) {
  // A bank riff loads like a chosen file, but the dialogs keep remembering the user's own path.
  if (const BankEntry* entry = riffs.EntryOf(id)) {
    LoadRiffFile(entry->path);
  } else if (id == kFollowTransportCommand && services.output != nullptr) {
    OnFollowTransport();
  }
}

void CRiffPanel::OnFollowTransport() {
  const bool wanted = !contextMenu.IsMenuItemChecked(kFollowTransportCommand);
  services.output->SetFollowTransport(wanted);
  contextMenu.CheckMenuItem(kFollowTransportCommand, wanted);
  QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  settings.setValue(kFollowTransportSetting, wanted);
  if (wanted) stepLightTimer.Start(kStepLightIntervalMs, &CRiffPanel::OnStepLightTimer);
}

int CRiffPanel::LearnableControlAt(int screenX, int screenY) const {
  const int id = ControlIdAt(screenX, screenY);
  return LearnName(id).empty() ? 0 : id;
}

std::string CRiffPanel::LearnName(int controlId) const {
  if (const int param = ParamOfKnob(g_riffKnobTable, controlId); param >= 0) return kRiffParams[param].name;
  if (controlId >= kFirstGateId && controlId < kFirstGateId + kStepCount) {
    return kRiffParams[kStepGate0 + controlId - kFirstGateId].name;
  }
  return "";
}

int CRiffPanel::LearnControlNamed(const std::string& name) const {
  for (int k = 0; k < kKnobCount; ++k) {
    if (LearnName(g_riffKnobTable[k].controlId) == name) return g_riffKnobTable[k].controlId;
  }
  for (int k = 0; k < kStepCount; ++k) {
    if (LearnName(kFirstGateId + k) == name) return kFirstGateId + k;
  }
  return 0;
}

void CRiffPanel::ApplyController(int controlId, int value) {
  if (TurnKnob(g_riffKnobTable, knobs, controlId, value)) return;
  if (controlId >= kFirstGateId && controlId < kFirstGateId + kStepCount) {
    CheckDlgButton(controlId, value > kControllerMax / 2 ? kChecked : kUnchecked);
    OnCommand(MakeWParam(controlId, kNotifyClicked), 0);
  }
}

void CRiffPanel::OnPlay() {
  Modules().Play();
  if (services.output != nullptr) {
    stepLightTimer.Start(kStepLightIntervalMs, &CRiffPanel::OnStepLightTimer);
  }
}

void CRiffPanel::OnStop() {
  Modules().Stop();
  UpdateStepLight();
}

void CRiffPanel::UpdateStepLight() {
  int heard = Modules().HeardStep();
  if (heard < 0 || heard >= kStepCount) {
    heard = -1;
  }
  if (heard == litStep) {
    return;
  }
  if (litStep >= 0) {
    knobs[litStep].SetLit(false);
  }
  if (heard >= 0) {
    knobs[heard].SetLit(true);
  }
  litStep = heard;
}

void CRiffPanel::OnStepLightTimer() {
  if (g_riffPanel == nullptr) {
    return;
  }
  g_riffPanel->UpdateStepLight();
  // Nothing to follow once the riff is stopped and its light is out.
  if (g_riffPanel->litStep < 0 && !g_riffPanel->Modules().IsPlaying()) {
    g_riffPanel->stepLightTimer.Stop();
  }
}

void CRiffPanel::OnLoadRiff() {
  // Until the user has chosen a path, the dialog opens on the factory bank.
  if (CFilePicker::Ask(services.askFile, true, nullptr, "Marrick Riff KV7|*.riff|All|*.*", g_lastRiffPath,
                       CBankCatalog::Installed().FolderOf(BankKind::kRiff))) {
    LoadRiffFile(g_lastRiffPath);
  }
}

void CRiffPanel::LoadRiffFile(const std::string& path) {
  std::string reason;
  if (!Modules().LoadRiff(path, &reason)) {
    CMessageBox::ShowError(this, FileFailureText("load the riff", path, reason) + " Nothing was changed.");
    return;
  }
  RefreshControls();
}

void CRiffPanel::OnSaveRiff() {
  std::string reason;
  if (CFilePicker::Ask(services.askFile, false, "riff", "Marrick Riff KV7|*.riff", g_lastRiffPath) &&
      !Modules().SaveRiff(g_lastRiffPath, &reason)) {
    CMessageBox::ShowError(this, FileFailureText("save the riff", g_lastRiffPath, reason) + kEarlierFileKept);
  }
}

void CRiffPanel::OnStopRecord() {
  if (g_wavRecorder.IsRecording() && !g_wavRecorder.Finish() && g_wavRecorder.GetFileError() != 0) {
    CMessageBox::ShowError(this, FileFailureText("finish the recording", g_lastWavPath,
                                                 COutputFile::Describe(g_wavRecorder.GetFileError())) +
                                     " The file keeps what was recorded until then.");
  }
}

void CRiffPanel::OnRecord() {
  if (!CFilePicker::Ask(services.askFile, false, "wav", "WAV file|*.wav", g_lastWavPath)) {
    return;
  }
  if (!g_wavRecorder.Start(g_lastWavPath.c_str())) {
    const int cause = g_wavRecorder.GetFileError();
    g_wavRecorder.Finish();
    CMessageBox::ShowError(this, FileFailureText("record to", g_lastWavPath, COutputFile::Describe(cause)) +
                                     kEarlierFileKept);
    return;
  }
  drainTimer.Start(kDrainIntervalMs, &CRiffPanel::OnDrainTimer);
}

// A recording that can no longer write (a full disk) is finished at once, with what the file
// holds, and the user told. Once the recording is finished, by whoever, the timer has no more to do.
void CRiffPanel::OnDrainTimer() {
  if (g_riffPanel == nullptr) {
    return;
  }
  g_wavRecorder.Drain();
  if (g_wavRecorder.HasWriteFailed() && g_wavRecorder.IsRecording()) {
    g_riffPanel->OnRecordingFailed();
  }
  if (!g_wavRecorder.IsRecording()) {
    g_riffPanel->drainTimer.Stop();
  }
}

void CRiffPanel::OnRecordingFailed() {
  const int cause = g_wavRecorder.GetFileError();
  g_wavRecorder.Finish();
  CMessageBox::ShowError(this, "The recording \"" + g_lastWavPath + "\" stopped: " + COutputFile::Describe(cause) +
                                   ". The file keeps what was recorded until then.");
}
