// CSynthApp: start and end of the program.
#include "ui/synth_app.h"

#include <QSettings>
#include <memory>

#include "bank/bank_catalog.h"
#include "output/synth_chain.h"
#include "output/wav_recorder.h"
#include "platform/sound/output_switch.h"
#include "ui/riff_panel.h"
#include "ui/synth_panel.h"

CSynthApp g_synthApp;

namespace {

// Finds what --preset or --riff names and loads it into a module of a trial chain, with the same
// checks the panels' Load makes.
bool TryStartFile(BankKind kind, const std::string& given, std::string& path, std::string& error) {
  if (given.empty()) return true;
  if (!CBankCatalog::Installed().ResolveName(kind, given, path, error)) return false;
  auto trial = std::make_unique<CSynthChain>();
  trial->StartModules();
  CSoundModule& module = kind == BankKind::kSound ? static_cast<CSoundModule&>(trial->Voice())
                                                  : static_cast<CSoundModule&>(trial->RiffPlayer());
  std::string reason;
  if (!module.LoadParams(path.c_str(), &reason)) {
    error = std::string("cannot load the ") + (kind == BankKind::kSound ? "preset" : "riff") + " '" + path +
            "': " + reason;
    return false;
  }
  return true;
}

}  // namespace

bool CSynthApp::ParseArguments(int argc, char** argv, std::string* error) {
  options = ProgramOptions{};
  startPreset.clear();
  startRiff.clear();
  std::string reason;
  if (!ParseProgramOptions(argc, argv, options, reason)) {
    reason += " (see 'quembrel --help')";
  } else if (options.help || options.version ||
             (TryStartFile(BankKind::kSound, options.preset, startPreset, reason) &&
              TryStartFile(BankKind::kRiff, options.riff, startRiff, reason))) {
    return true;
  }
  if (error != nullptr) *error = reason;
  return false;
}

OutputMode CSynthApp::StartOutputMode() const {
  if (options.outputMode) return *options.outputMode;
  const QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  const QVariant kept = settings.value(CSynthPanel::kLowLatencySetting);
  // The settings file gives text back; only what the panel writes there counts.
  const bool lowLatency = kept.typeId() == QMetaType::Bool
                              ? kept.toBool()
                              : kept.toString().compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
  return lowLatency ? OutputMode::kLowLatency : OutputMode::kClassic;
}

bool CSynthApp::StartFollowTransport() const {
  if (options.followTransport) return true;
  const QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  const QVariant kept = settings.value(CRiffPanel::kFollowTransportSetting);
  return kept.typeId() == QMetaType::Bool
             ? kept.toBool()
             : kept.toString().compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
}

bool CSynthApp::InitInstance() {
  CSynthPanel panel(PanelServices{&output, StartOutputMode(), askFile, nullptr, startPreset, startRiff,
                                  StartFollowTransport()});
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
