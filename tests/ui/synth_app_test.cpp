// Tests of the application shell: the program's whole run, started as the program starts it and
// inspected from inside the synth panel's modal loop (what the start-up leaves: every knob showing
// its parameter's default, the handlers in place, the effects untouched, sound started for the
// panel's window), then ended with Escape, which must shut the sound down in order and leave no
// audio thread behind. The output it starts with, from the command line or the settings. And the
// program itself: without a display, and on an X server, where the titles the window system holds
// are read back.
#include "ui/synth_app.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QSettings>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "tests/output/wav_file_reader.h"
#include "tests/ui/program_fixture.h"
#include "ui/riff_panel.h"
#include "ui/synth_panel.h"

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
  g_audioStream.SetSoundLayer(&FakeSound());
  g_synthApp.SetFileDialogRunner(&ScriptedFileDialog::Run);
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

ProgramRun RunProgram(const std::string& environment, const std::string& arguments = "") {
  ProgramRun run;
  const std::string command = "env " + environment + " '" QUEMBREL_PROGRAM "' " + arguments + " 2>&1";
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

// The output kept in the settings counts only when it is a boolean; the command line overrides it.
TEST(SynthAppTest, TheStartOutputComesFromTheCommandLineOrABooleanSetting) {
  TestApp();
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromStdString(TestFolder("quembrel_app_settings").string()));
  struct Case {
    const char* kept;  // null: nothing kept
    const char* option;
    OutputMode mode;
  };
  const Case cases[] = {
      {nullptr, nullptr, OutputMode::kClassic},          {"true", nullptr, OutputMode::kLowLatency},
      {"false", nullptr, OutputMode::kClassic},          {"banana", nullptr, OutputMode::kClassic},
      {"1", nullptr, OutputMode::kClassic},              {"true", "--classic", OutputMode::kClassic},
      {"banana", "--low-latency", OutputMode::kLowLatency},
  };
  for (const Case& c : cases) {
    {
      QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
      if (c.kept != nullptr) {
        settings.setValue(CSynthPanel::kLowLatencySetting, QString::fromUtf8(c.kept));
      } else {
        settings.remove(CSynthPanel::kLowLatencySetting);
      }
    }
    CSynthApp app;
    char program[] = "quembrel";
    char option[32] = "";
    std::snprintf(option, sizeof option, "%s", c.option != nullptr ? c.option : "");
    char* argv[] = {program, option, nullptr};
    app.ParseArguments(c.option != nullptr ? 2 : 1, argv);
    EXPECT_EQ(app.StartOutputMode(), c.mode) << (c.kept ? c.kept : "nothing") << " " << (c.option ? c.option : "");
  }
}

// Following the JACK transport starts as the riff panel's menu was left, or on with
// --follow-transport for the one run.
TEST(SynthAppTest, FollowingTheTransportComesFromTheSettingOrTheCommandLine) {
  TestApp();
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromStdString(TestFolder("quembrel_app_follow_settings").string()));
  for (const bool kept : {false, true}) {
    QSettings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication)
        .setValue(CRiffPanel::kFollowTransportSetting, kept);
    for (const bool option : {false, true}) {
      CSynthApp app;
      char program[] = "quembrel";
      char follow[] = "--follow-transport";
      char* argv[] = {program, follow, nullptr};
      app.ParseArguments(option ? 2 : 1, argv);
      EXPECT_EQ(app.StartFollowTransport(), kept || option) << kept << " " << option;
    }
  }
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

// Help, version and every refusal come before the display is looked for: without one, a good
// command line gets as far as "no display found", a bad one never does.
TEST(SynthAppTest, TheCommandLineIsAnsweredBeforeAnyWindowOpens) {
  const std::string tooLong = (TestFolder("quembrel_app_options") / "too-long.kv7").string();
  {
    std::ofstream file(tooLong, std::ios::binary);
    const char bytes[] = {38, 0};
    file.write(bytes, sizeof bytes);
  }
  struct Case {
    std::string arguments;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {"--help", 0, "Usage: quembrel [options]\n"},
      {"--version", 0, "quembrel 1."},
      {"--bogus --help", 2, "quembrel: unknown option '--bogus' (see 'quembrel --help')"},
      {"stray", 2, "quembrel: unexpected argument 'stray'"},
      {"--preset", 2, "quembrel: option '--preset' needs a value"},
      {"--classic=yes", 2, "quembrel: option '--classic' takes no value"},
      {"--preset no-such-sound", 2, "quembrel: cannot read preset 'no-such-sound': it is neither a readable file"},
      {"--riff acid-bass", 2, "quembrel: cannot read riff 'acid-bass'"},
      {"--preset '" + tooLong + "'", 2, "quembrel: cannot load the preset '"},
      {"--preset=acid-bass --riff acid-line --low-latency", 1, "quembrel: no display found"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunProgram("-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", c.arguments);
    ASSERT_TRUE(WIFEXITED(run.status)) << c.arguments;
    EXPECT_EQ(WEXITSTATUS(run.status), c.status) << c.arguments;
    EXPECT_EQ(run.output.rfind(c.says, 0), 0u) << c.arguments << ": " << run.output;
    if (c.status != 0 || c.arguments == "--version") {
      EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    }
  }
  const ProgramRun help = RunProgram("-u DISPLAY", "--help");
  EXPECT_NE(help.output.find("\n  --follow-transport  follow the JACK transport's tempo and position (this run)\n"),
            std::string::npos)
      << help.output;
}

// --preset and --riff take bank names (or files) and the panels open with them loaded, effects and
// controls included.
TEST(SynthAppTest, OpensWithTheCommandLinesPresetAndRiff) {
  TestApp();
  FakeSound().SetThreadMode(FakeThreadMode::kRun);
  g_audioStream.SetSoundLayer(&FakeSound());
  char program[] = "quembrel";
  char presetOption[] = "--preset";
  char preset[] = "acid-bass";
  char riffOption[] = "--riff=acid-line";
  char* argv[] = {program, presetOption, preset, riffOption, nullptr};
  std::string error;
  ASSERT_TRUE(g_synthApp.ParseArguments(4, argv, &error)) << error;

  int cutoffKnob = -1;
  int bpmKnob = -1;
  QTimer::singleShot(0, [&] {
    auto* panel = static_cast<CSynthPanel*>(g_synthApp.GetMainWindow());
    for (const KnobParam* row = g_synthKnobTable; row->controlId > 0; ++row) {
      if (row->paramIndex == kCutoff) cutoffKnob = KnobOf(*panel, row->controlId)->GetValue();
    }
    for (const KnobParam* row = g_riffKnobTable; row->controlId > 0; ++row) {
      if (row->paramIndex == kBpm) bpmKnob = KnobOf(*g_riffPanel, row->controlId)->GetValue();
    }
    PressKey(*panel, Qt::Key_Escape);
  });
  EXPECT_FALSE(g_synthApp.InitInstance());
  g_synthApp.OnExit();
  // acid-bass: Cutoff = 8, DistAmount = 12; acid-line at 132 BPM.
  EXPECT_EQ(cutoffKnob, 8);
  EXPECT_EQ(bpmKnob, 132);
  EXPECT_EQ(g_voice->GetParam(kCutoff), 8);
  EXPECT_EQ(g_riffPlayer->GetParam(kBpm), 132);
  EXPECT_NE(g_distortion.GetAmount(), 1.0f);
}

// A program started through a shell that prints its process id first and then becomes the
// program; stopped and reaped when it goes out of scope.
class CBackgroundProgram {
 public:
  explicit CBackgroundProgram(const std::string& command)
      : pipe(popen(("echo $$; exec " + command).c_str(), "r")) {
    pid = std::stoi(ReadLine().empty() ? "-1" : line);
  }
  CBackgroundProgram(const CBackgroundProgram&) = delete;
  CBackgroundProgram& operator=(const CBackgroundProgram&) = delete;
  ~CBackgroundProgram() {
    if (pid > 0) {
      kill(pid, SIGKILL);
    }
    if (pipe != nullptr) {
      pclose(pipe);
    }
  }

  // The next line of its output, without the newline; empty at its end.
  const std::string& ReadLine() {
    char buffer[256];
    line = pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr ? buffer : "";
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
    }
    return line;
  }

 private:
  FILE* pipe;
  pid_t pid = -1;
  std::string line;
};

std::string Output(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      output += buffer;
    }
    pclose(pipe);
  }
  return output;
}

// The value xprop shows for one text property of a window, or "(none)" when it is not set.
std::string TextProperty(const std::string& display, const std::string& window, const char* name) {
  const std::string shown =
      Output("xprop -display " + display + " -notype -id " + window + " " + name);
  std::smatch match;
  if (!std::regex_search(shown, match, std::regex(std::string(name) + " = \"(.*)\"\n"))) {
    return "(none)";
  }
  return std::regex_replace(match[1].str(), std::regex("\\\\(.)"), "$1");
}

// Each shown top-level window's WM_NAME and _NET_WM_NAME, the two titles a window manager reads.
std::map<std::string, std::pair<std::string, std::string>> ShownTitles(const std::string& display) {
  std::map<std::string, std::pair<std::string, std::string>> titles;
  const std::string tree = Output("xwininfo -display " + display + " -root -children");
  const std::regex child("\n +(0x[0-9a-f]+) ");
  for (auto it = std::sregex_iterator(tree.begin(), tree.end(), child); it != std::sregex_iterator(); ++it) {
    const std::string window = (*it)[1].str();
    if (Output("xwininfo -display " + display + " -id " + window).find("IsViewable") != std::string::npos) {
      titles[window] = {TextProperty(display, window, "WM_NAME"), TextProperty(display, window, "_NET_WM_NAME")};
    }
  }
  return titles;
}

TEST(SynthAppTest, OnAnXServerTheRiffPanelsTitleBarStaysBlank) {
  if (std::system("{ command -v Xvfb && command -v xprop && command -v xwininfo; } >/dev/null") != 0) {
    GTEST_SKIP() << "needs Xvfb, xprop and xwininfo";
  }
  CBackgroundProgram server("Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x1024x24 2>/dev/null");
  const std::string display = ":" + server.ReadLine();
  ASSERT_NE(display, ":") << "Xvfb did not start";
  CBackgroundProgram program("env -u WAYLAND_DISPLAY DISPLAY=" + display +
                             " QT_QPA_PLATFORM=xcb '" QUEMBREL_PROGRAM "' >/dev/null 2>&1");

  std::map<std::string, std::pair<std::string, std::string>> titles;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (titles.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    titles = ShownTitles(display);
  }
  std::multiset<std::pair<std::string, std::string>> seen;
  for (const auto& [window, names] : titles) {
    seen.insert(names);
  }
  // A single space: an empty title would make the toolkit put the program's name there.
  const std::multiset<std::pair<std::string, std::string>> expected = {
      {"KV7. \"Tessaline\"", "KV7. \"Tessaline\""}, {" ", " "}};
  EXPECT_EQ(seen, expected);
}

}  // namespace
