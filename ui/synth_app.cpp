// CSynthApp: start and end of the program.
#include "ui/synth_app.h"

#include <QSettings>
#include <cstring>

#include "platform/sound/output_switch.h"
#include "output/wav_recorder.h"
#include "ui/synth_panel.h"

CSynthApp g_synthApp;

void CSynthApp::ParseArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--low-latency") == 0) {
      outputOverride = OutputMode::kLowLatency;
    } else if (std::strcmp(argv[i], "--classic") == 0) {
      outputOverride = OutputMode::kClassic;
    }
  }
}

bool CSynthApp::InitInstance() {
  PanelServices services{&output, OutputMode::kClassic, askFile};
  if (outputOverride) {
    services.startMode = *outputOverride;
  } else {
    const QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
    services.startMode = settings.value(CSynthPanel::kLowLatencySetting, false).toBool()
                             ? OutputMode::kLowLatency
                             : OutputMode::kClassic;
  }
  CSynthPanel panel(services);
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
