// CSynthApp: start and end of the program.
#include "ui/synth_app.h"

#include <QSettings>
#include <cstring>

#include "platform/sound/output_switch.h"
#include "output/wav_recorder.h"
#include "ui/riff_panel.h"
#include "ui/synth_panel.h"

CSynthApp g_synthApp;

void CSynthApp::ParseArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--low-latency") == 0) {
      outputOverride = OutputMode::kLowLatency;
    } else if (std::strcmp(argv[i], "--classic") == 0) {
      outputOverride = OutputMode::kClassic;
    } else if (std::strcmp(argv[i], "--follow-transport") == 0) {
      followTransportOverride = true;
    }
  }
}

OutputMode CSynthApp::StartOutputMode() const {
  if (outputOverride) return *outputOverride;
  const QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  const QVariant kept = settings.value(CSynthPanel::kLowLatencySetting);
  // The settings file gives text back; only what the panel writes there counts.
  const bool lowLatency = kept.typeId() == QMetaType::Bool
                              ? kept.toBool()
                              : kept.toString().compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
  return lowLatency ? OutputMode::kLowLatency : OutputMode::kClassic;
}

bool CSynthApp::StartFollowTransport() const {
  if (followTransportOverride) return true;
  const QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  const QVariant kept = settings.value(CRiffPanel::kFollowTransportSetting);
  return kept.typeId() == QMetaType::Bool
             ? kept.toBool()
             : kept.toString().compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
}

bool CSynthApp::InitInstance() {
  CSynthPanel panel(PanelServices{&output, StartOutputMode(), askFile, StartFollowTransport()});
  SetMainWindow(&panel);
  panel.DoModal();
  SetMainWindow(nullptr);
  return false;
}

void CSynthApp::OnQuitSignal() {
  if (auto* panel = static_cast<CSynthPanel*>(GetMainWindow()); panel != nullptr) {
    panel->OnClose();
  }
  CApplication::OnQuitSignal();
}

// The panel's close command has normally done this already. If the panel ended some other way,
// the audio thread must still stop before the recorder closes its file, and both before the
// process's own teardown takes objects the audio thread uses.
void CSynthApp::OnExit() {
  output.Midi().Close();
  output.Stop();
  if (g_wavRecorder.IsRecording()) {
    g_wavRecorder.Finish();
  }
}
