// Tests of the application shell: the program's whole run, started as the program starts it and
// inspected from inside the synth panel's modal loop (what the start-up leaves: every knob showing
// its parameter's default, the handlers in place, the effects untouched, sound started for the
// panel's window), then ended with Escape, which must shut the sound down in order and leave no
// audio thread behind. And the program itself without a display.
#include "ui/synth_app.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QTest>
#include <QTimer>
#include <cstdio>
#include <string>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "tests/output/wav_file_reader.h"
#include "tests/ui/program_fixture.h"

namespace {

// The shell's state as seen from inside its modal loop.
struct StartupView {
  bool ran = false;
  bool synthVisible = false;
  bool riffVisible = false;
  bool windowsApart = false;
  std::string synthCaption;
  std::string riffCaption;
  std::vector<int> wrongSynthKnobs;
  std::vector<int> wrongRiffKnobs;
  std::vector<int> wrongRadios;
  KnobCallback currentCallback = nullptr;
  float distortion = -1;
  float feedback = -1;
  float delayMs = -1;
  SoundWindow claimedWindow = nullptr;
  const void* panelWindow = nullptr;
};

void Inspect(StartupView& view) {
  auto* panel = static_cast<CSynthPanel*>(g_synthApp.GetMainWindow());
  view.ran = true;
  view.synthVisible = panel->GetWidget()->isVisible();
  view.riffVisible = g_riffPanel->GetWidget()->isVisible();
  view.windowsApart = !panel->GetWidget()->frameGeometry().intersects(g_riffPanel->GetWidget()->frameGeometry());
  view.synthCaption = panel->GetWidget()->windowTitle().toStdString();
  view.riffCaption = g_riffPanel->GetWidget()->windowTitle().toStdString();
  for (const KnobParam* row = g_synthKnobTable; row->controlId > 0; ++row) {
    const CKnob* knob = KnobOf(*panel, row->controlId);
    if (knob == nullptr || knob->GetValue() != kVoiceParams[row->paramIndex].defaultValue ||
        knob->GetMin() != kVoiceParams[row->paramIndex].minimum ||
        knob->GetMax() != kVoiceParams[row->paramIndex].maximum ||
        knob->GetCallback() != &CSynthPanel::OnSynthKnob) {
      view.wrongSynthKnobs.push_back(row->controlId);
    }
  }
  for (const KnobParam* row = g_riffKnobTable; row->controlId > 0; ++row) {
    const CKnob* knob = KnobOf(*g_riffPanel, row->controlId);
    if (knob == nullptr || knob->GetValue() != kRiffParams[row->paramIndex].defaultValue ||
        knob->GetCallback() != &CRiffPanel::OnRiffKnob) {
      view.wrongRiffKnobs.push_back(row->controlId);
    }
  }
  const int radioDefaults[][2] = {{1016, kOscAWave}, {1020, kOscBWave}, {1024, kSubWave},
                                  {1033, kFilterType}, {1045, kLfo1Wave}, {1056, kLfo2Wave}};
  for (const auto& group : radioDefaults) {
    if (panel->IsDlgButtonChecked(group[0] + kVoiceParams[group[1]].defaultValue) != kChecked) {
      view.wrongRadios.push_back(group[0]);
    }
  }
  view.currentCallback = g_knobCallback;
  view.distortion = g_distortion.GetAmount();
  view.feedback = g_echoDelay.GetFeedback();
  view.delayMs = g_echoDelay.GetTimeMs();
  view.claimedWindow = FakeSound().GetClaimedWindow();
  view.panelWindow = panel->GetWidget();
}

TEST(SynthAppTest, RunsFromStartUpToAnOrderlyShutDown) {
  TestApp();
  FakeSound().SetThreadMode(FakeThreadMode::kRun);
  FakeSound().SetPositionMode(FakePositionMode::kRealTime);
  g_soundLayer = &FakeSound();
  CFilePicker::SetRunner(&ScriptedFileDialog::Run);
  const std::string wav = (TestFolder("quembrel_app") / "run.wav").string();

  StartupView view;
  QTimer::singleShot(0, [&view, &wav] {
    Inspect(view);
    auto* panel = static_cast<CSynthPanel*>(g_synthApp.GetMainWindow());
    // A Note ON and the riff under way, recorded for a while, then Escape.
    ScriptedFileDialog::Answers().push_back(wav);
    Click(*g_riffPanel, CRiffPanel::kRecordId);
    Click(*g_riffPanel, CRiffPanel::kPlayId);
    Click(*panel, CSynthPanel::kNoteOnId);
    QTest::qWait(300);
    PressKey(*panel, Qt::Key_Escape);
  });
  EXPECT_FALSE(g_synthApp.InitInstance());
  g_synthApp.OnExit();

  ASSERT_TRUE(view.ran);
  EXPECT_TRUE(view.synthVisible);
  EXPECT_TRUE(view.riffVisible);
  EXPECT_TRUE(view.windowsApart);  // the riff panel beside the synth panel, not under it
  EXPECT_EQ(view.synthCaption, "KV7. \"Tessaline\"");
  EXPECT_EQ(view.riffCaption, "");
  EXPECT_TRUE(view.wrongSynthKnobs.empty()) << view.wrongSynthKnobs.front();
  EXPECT_TRUE(view.wrongRiffKnobs.empty()) << view.wrongRiffKnobs.front();
  EXPECT_TRUE(view.wrongRadios.empty()) << view.wrongRadios.front();
  // The riff panel initialised after the synth panel's refresh, so its handler is the current one.
  EXPECT_EQ(view.currentCallback, &CRiffPanel::OnRiffKnob);
  // The effects keep their own starting settings; the knobs showing 0 did not reach them.
  EXPECT_EQ(view.distortion, 1.0f);
  EXPECT_EQ(view.feedback, 0.0f);
  EXPECT_EQ(view.delayMs, 0.0f);
  EXPECT_EQ(view.claimedWindow, view.panelWindow);
  EXPECT_EQ(g_synthApp.GetMainWindow(), nullptr);

  // One audio thread, started, stopped and closed; the device released.
  EXPECT_EQ(FakeSound().Count(FakeSoundOp::kStartThread), 1u);
  EXPECT_EQ(FakeSound().Count(FakeSoundOp::kCloseThread), 1u);
  EXPECT_EQ(FakeSound().Count(FakeSoundOp::kReleaseDevice), 1u);
  const std::vector<FakeSoundEvent> events = FakeSound().Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().op, FakeSoundOp::kReleaseDevice);

  // The recording was finished with everything the audio thread rendered into it.
  EXPECT_FALSE(g_wavRecorder.IsRecording());
  const WavFileContents file = ReadWavFile(wav);
  ASSERT_TRUE(IsCompleteWav(file));
  EXPECT_EQ(static_cast<std::int32_t>(file.samples.size()), g_wavRecorder.GetSampleCount());
  EXPECT_GT(file.samples.size(), 4096u);
  int loud = 0;
  for (std::int16_t s : file.samples) {
    loud += s != 0;
  }
  EXPECT_GT(loud, 1000);
}

struct ProgramRun {
  int status = -1;
  std::string output;
};

ProgramRun RunProgram(const std::string& environment) {
  ProgramRun run;
  const std::string command = "env " + environment + " '" QUEMBREL_PROGRAM "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    run.output += buffer;
  }
  run.status = pclose(pipe);
  return run;
}

TEST(SynthAppTest, WithoutADisplayTheProgramSaysSoInOneLineAndFails) {
  struct Case {
    const char* environment;
    const char* says;
  };
  const Case cases[] = {
      {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "quembrel: no display found"},
      {"-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4711", "quembrel: cannot open the display ':4711'"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunProgram(c.environment);
    ASSERT_TRUE(WIFEXITED(run.status)) << c.environment;  // no abort
    EXPECT_EQ(WEXITSTATUS(run.status), 1) << c.environment;
    EXPECT_EQ(run.output.rfind(c.says, 0), 0u) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
  }
}

}  // namespace
