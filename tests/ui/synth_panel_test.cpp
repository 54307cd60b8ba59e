// Tests of the synth panel after the program's start-up: every knob reaches its voice parameter
// (and the post-process knobs the effects), the radio groups and target boxes write their
// parameters, presets go through the dialogs, the About box is offered, wheel and double click
// reach the modules through the same handlers as a drag, tooltips name each knob's parameter, the
// computer keys let go when a menu or dialog takes them, and the close box shuts the sound down in
// order.
#include "ui/synth_panel.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QSettings>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "platform/sound/audio_stream.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "platform/sound/output_switch.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_params.h"
#include "sequencer/midi_note_handler.h"
#include "sequencer/riff_player.h"
#include "sequencer/voice_note_target.h"
#include "tests/output/wav_file_reader.h"
#include "tests/ui/bank_fixture.h"
#include "tests/ui/program_fixture.h"
#include "ui/about_box.h"
#include "ui/midi_learn.h"
#include "ui/riff_panel.h"

namespace {

struct KnobCase {
  int id;
  int param;
  int low;
  int high;
};

// The panel's knobs with the ranges a user can reach.
const KnobCase kKnobs[] = {
    {1002, kOscAPulse, 0, 100},      {1001, kOscMix, -100, 100},      {1003, kOscBTune, -48, 48},
    {1005, kOscBFine, -100, 100},    {1004, kOscBPulse, 0, 100},      {1040, kMasterVolume, 0, 100},
    {1009, kAmpAttack, 1, 500},      {1010, kAmpDecay, 1, 500},       {1011, kAmpSustain, 0, 1000},
    {1012, kAmpLevel, 0, 100},       {1013, kAmpRelease, 0, 1000},    {1014, kSubLevel, 0, 100},
    {1037, kCutoff, 1, 255},         {1032, kFltEnvAmount, -128, 127}, {1015, kFltAttack, 1, 500},
    {1028, kFltDecay, 1, 500},       {1029, kFltSustain, 0, 1000},    {1030, kFltLevel, 0, 100},
    {1031, kFltRelease, 0, 1000},    {1042, kLfo1Pulse, 0, 100},      {1043, kLfo1Rate, 0, 255},
    {1044, kLfo1Amount, 0, 100},     {1053, kLfo2Pulse, 0, 100},      {1054, kLfo2Rate, 0, 255},
    {1055, kLfo2Amount, 0, 100},     {1066, kDistAmount, 0, 100},     {1067, kDelayTime, 0, 1000},
    {1068, kDelayFeedback, 0, 100},
};

// A sweep of the whole range takes 256 pixels; twice that reaches either end from anywhere.
constexpr int kFarDrag = 512;

// Loads `values` as a preset through the Load button and the dialog.
void LoadPreset(CSynthPanel& panel, const std::string& path, const std::vector<ParamValue>& values) {
  WriteParamFile(path, values);
  ScriptedFileDialog::Answers().push_back(path);
  Click(panel, CSynthPanel::kLoadPresetId);
}

class SynthPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    panel = &StartProgram();
    ScriptedFileDialog::Answers().clear();
    ScriptedFileDialog::Requests().clear();
  }
  CSynthPanel* panel = nullptr;
};

TEST_F(SynthPanelTest, EveryKnobDragReachesItsParameterAtBothEnds) {
  for (const KnobCase& c : kKnobs) {
    DragKnob(*panel, c.id, kFarDrag);
    EXPECT_EQ(g_voice->GetParam(c.param), c.high) << c.id;
    EXPECT_EQ(KnobOf(*panel, c.id)->GetValue(), c.high) << c.id;
    DragKnob(*panel, c.id, -kFarDrag);
    EXPECT_EQ(g_voice->GetParam(c.param), c.low) << c.id;
  }
  // A small drag moves by the knob's own steps: 3 pixels on a 101-value knob is one step.
  DragKnob(*panel, 1040, 3);
  EXPECT_EQ(g_voice->GetParam(kMasterVolume), 1);
}

TEST_F(SynthPanelTest, PostProcessKnobsDriveTheEffects) {
  DragKnob(*panel, 1066, kFarDrag);
  EXPECT_EQ(g_distortion.GetAmount(), 100.0f);
  DragKnob(*panel, 1066, -kFarDrag);
  EXPECT_EQ(g_voice->GetParam(kDistAmount), 0);
  EXPECT_EQ(g_distortion.GetAmount(), 0.0f);

  DragKnob(*panel, 1068, kFarDrag);
  EXPECT_EQ(g_voice->GetParam(kDelayFeedback), 100);
  EXPECT_EQ(g_echoDelay.GetFeedback(), 1.0f);

  DragKnob(*panel, 1067, kFarDrag);
  EXPECT_EQ(g_echoDelay.GetTimeMs(), 1000.0f);
  EXPECT_EQ(g_echoDelay.GetDelayFrames(), 32768u);
  DragKnob(*panel, 1067, -kFarDrag);
  DragKnob(*panel, 1067, 3);  // 1001 values over 256 pixels: 3 pixels are 11 ms
  EXPECT_EQ(g_voice->GetParam(kDelayTime), 11);
  EXPECT_EQ(g_echoDelay.GetDelayFrames(), 485u);

  // Other knobs leave the effects alone.
  DragKnob(*panel, 1040, kFarDrag);
  EXPECT_EQ(g_echoDelay.GetFeedback(), 1.0f);
  EXPECT_EQ(g_distortion.GetAmount(), 0.0f);
}

TEST_F(SynthPanelTest, RadioGroupsWriteTheirPositions) {
  struct Group {
    int firstId;
    int param;
  };
  const Group groups[] = {{1016, kOscAWave}, {1020, kOscBWave}, {1024, kSubWave},
                          {1033, kFilterType}, {1045, kLfo1Wave}, {1056, kLfo2Wave}};
  for (const Group& g : groups) {
    for (int position : {3, 0, 2, 1}) {
      Click(*panel, g.firstId + position);
      EXPECT_EQ(g_voice->GetParam(g.param), position) << g.firstId;
      for (int other = 0; other < 4; ++other) {
        EXPECT_EQ(panel->IsDlgButtonChecked(g.firstId + other), other == position ? kChecked : kUnchecked);
      }
    }
  }
}

TEST_F(SynthPanelTest, TargetBoxesWriteMasksAndKeepTheBitOnlyAPresetSets) {
  struct Boxes {
    int ids[4];
    int param;
  };
  const Boxes lfos[] = {{{1041, 1049, 1050, 1051}, kLfo1Targets}, {{1060, 1061, 1062, 1063}, kLfo2Targets}};
  const std::string path = (TestFolder("quembrel_targets") / "targets.kv7").string();
  for (const Boxes& lfo : lfos) {
    std::vector<ParamValue> preset = DefaultValues(kVoiceParams);
    preset[lfo.param] = 5;
    LoadPreset(*panel, path, preset);
    EXPECT_EQ(panel->IsDlgButtonChecked(lfo.ids[0]), kChecked);
    EXPECT_EQ(panel->IsDlgButtonChecked(lfo.ids[1]), kUnchecked);
    EXPECT_EQ(panel->IsDlgButtonChecked(lfo.ids[2]), kChecked);
    EXPECT_EQ(panel->IsDlgButtonChecked(lfo.ids[3]), kUnchecked);
    Click(*panel, lfo.ids[1]);
    EXPECT_EQ(g_voice->GetParam(lfo.param), 7);
    Click(*panel, lfo.ids[0]);
    EXPECT_EQ(g_voice->GetParam(lfo.param), 6);

    preset[lfo.param] = 8;
    LoadPreset(*panel, path, preset);
    EXPECT_EQ(panel->IsDlgButtonChecked(lfo.ids[3]), kChecked);
    EXPECT_FALSE(panel->GetDlgItem(lfo.ids[3])->isEnabled());
    Click(*panel, lfo.ids[3]);  // disabled: the user cannot change it
    EXPECT_EQ(g_voice->GetParam(lfo.param), 8);
    Click(*panel, lfo.ids[0]);
    EXPECT_EQ(g_voice->GetParam(lfo.param), 9);
  }
}

TEST_F(SynthPanelTest, SyncBoxFollowsAndWritesParameterSeven) {
  EXPECT_EQ(CWindow::TextOf(panel->GetDlgItem(CSynthPanel::kSyncBoxId)), "Sync");
  const std::string path = (TestFolder("quembrel_sync") / "sync.kv7").string();
  std::vector<ParamValue> preset = DefaultValues(kVoiceParams);
  preset[kOscSync] = 1;
  LoadPreset(*panel, path, preset);
  EXPECT_EQ(panel->IsDlgButtonChecked(CSynthPanel::kSyncBoxId), kChecked);
  Click(*panel, CSynthPanel::kSyncBoxId);
  EXPECT_EQ(g_voice->GetParam(kOscSync), 0);
  Click(*panel, CSynthPanel::kSyncBoxId);
  EXPECT_EQ(g_voice->GetParam(kOscSync), 1);
}

TEST_F(SynthPanelTest, OutOfRangeWaveformsLeaveTheirGroupUnchecked) {
  const std::string path = (TestFolder("quembrel_waves") / "waves.kv7").string();
  std::vector<ParamValue> preset = DefaultValues(kVoiceParams);
  preset[kOscAWave] = 4;
  preset[kOscBWave] = -1;
  preset[kFilterType] = 7;
  LoadPreset(*panel, path, preset);
  for (int id = 1016; id <= 1023; ++id) {
    EXPECT_EQ(panel->IsDlgButtonChecked(id), kUnchecked) << id;
  }
  for (int id = 1033; id <= 1036; ++id) {
    EXPECT_EQ(panel->IsDlgButtonChecked(id), kUnchecked) << id;
  }
  // The sub-oscillator's group, next to them, shows its value as before.
  EXPECT_EQ(panel->IsDlgButtonChecked(1024 + kVoiceParams[kSubWave].defaultValue), kChecked);
  EXPECT_EQ(g_voice->GetParam(kOscAWave), 4);
}

TEST_F(SynthPanelTest, PresetsSaveAndLoadThroughTheDialogs) {
  const std::filesystem::path folder = TestFolder("quembrel_presets");
  const std::string saved = (folder / "bright.kv7").string();

  DragKnob(*panel, 1037, kFarDrag);
  DragKnob(*panel, 1066, -kFarDrag);
  DragKnob(*panel, 1066, 10);
  const int dist = g_voice->GetParam(kDistAmount);
  ASSERT_GT(dist, 1);
  ScriptedFileDialog::Answers().push_back(saved);
  Click(*panel, CSynthPanel::kSavePresetId);
  ASSERT_EQ(ScriptedFileDialog::Requests().size(), 1u);
  const FilePickerRequest& save = ScriptedFileDialog::Requests()[0];
  EXPECT_FALSE(save.open);
  EXPECT_EQ(save.defaultExtension, "kv7");
  EXPECT_EQ(save.filter, "Marrick KV7|*.kv7");
  EXPECT_EQ(save.flags, 0x806u);
  EXPECT_EQ(std::filesystem::file_size(saved), 76u);
  EXPECT_EQ(g_lastPresetPath, saved);

  // Change everything the file holds, then load it back.
  DragKnob(*panel, 1037, -kFarDrag);
  DragKnob(*panel, 1066, -kFarDrag);
  ScriptedFileDialog::Answers().push_back(saved);
  Click(*panel, CSynthPanel::kLoadPresetId);
  const FilePickerRequest& load = ScriptedFileDialog::Requests()[1];
  EXPECT_TRUE(load.open);
  EXPECT_EQ(load.defaultExtension, "");
  EXPECT_EQ(load.fileName, saved);
  EXPECT_EQ(load.filter, "Marrick KV7|*.kv7|All|*.*");
  EXPECT_EQ(load.flags, 0x806u);
  EXPECT_EQ(g_voice->GetParam(kCutoff), 255);
  EXPECT_EQ(KnobOf(*panel, 1037)->GetValue(), 255);
  EXPECT_EQ(g_distortion.GetAmount(), static_cast<float>(dist));

  // Cancelled dialogs change nothing, not even the remembered path.
  DragKnob(*panel, 1037, -kFarDrag);
  Click(*panel, CSynthPanel::kLoadPresetId);
  Click(*panel, CSynthPanel::kSavePresetId);
  ScriptedFileDialog::Answers().push_back("");
  Click(*panel, CSynthPanel::kLoadPresetId);
  EXPECT_EQ(g_voice->GetParam(kCutoff), 1);
  EXPECT_EQ(g_lastPresetPath, saved);
  EXPECT_EQ(ScriptedFileDialog::Requests().back().fileName, saved);

  // A file that does not load leaves the voice as it was, and says so.
  const std::string broken = (folder / "broken.kv7").string();
  std::ofstream(broken) << "not a preset";
  ScriptedFileDialog::Answers().push_back(broken);
  MessageBoxReader boxes;
  Click(*panel, CSynthPanel::kLoadPresetId);
  EXPECT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(g_voice->GetParam(kCutoff), 1);
  EXPECT_EQ(g_lastPresetPath, broken);
}

TEST_F(SynthPanelTest, NoteButtonsPlayTheVoice) {
  Click(*panel, CSynthPanel::kNoteOnId);
  EXPECT_TRUE(g_voice->IsActive());
  Click(*panel, CSynthPanel::kNoteOffId);
  StereoFrame frames[CSynthVoice::kControlBlock];
  for (int i = 0; i < 44100 * 2 && g_voice->IsActive(); i += CSynthVoice::kControlBlock) {
    g_voice->Render(frames, CSynthVoice::kControlBlock);
  }
  EXPECT_FALSE(g_voice->IsActive());
}

TEST_F(SynthPanelTest, WheelAndDoubleClickReachTheModulesAndTooltipsNameTheParameter) {
  const auto wheel = [](const CDialog& dialog, int id, int delta) {
    QWidget* control = dialog.GetDlgItem(id);
    const QPointF at(10, 20);
    QWheelEvent event(at, control->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(control, &event);
  };
  const auto doubleClick = [](const CDialog& dialog, int id) {
    QWidget* control = dialog.GetDlgItem(id);
    QMouseEvent press(QEvent::MouseButtonDblClick, QPointF(10, 20), control->mapToGlobal(QPointF(10, 20)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(control, &press);
  };
  DragKnob(*panel, 1040, -kFarDrag);
  wheel(*panel, 1040, 2 * 120);
  EXPECT_EQ(g_voice->GetParam(kMasterVolume), 2);
  DragKnob(*panel, 1067, -kFarDrag);
  wheel(*panel, 1067, 120);
  EXPECT_EQ(g_echoDelay.GetTimeMs(), 1.0f);
  wheel(*g_riffPanel, 1086, -120);
  EXPECT_EQ(g_riffPlayer->GetParam(kBpm), kRiffParams[kBpm].defaultValue - 1);

  struct Case {
    const CDialog* dialog;
    int id;
    const char* tip;  // at the parameter's default
  };
  const Case cases[] = {
      {panel, 1011, "Volume envelope sustain: 200 ms"}, {panel, 1040, "Master volume: 100%"},
      {panel, 1003, "Oscillator B tune: 0 semitones"},  {panel, 1037, "Filter cutoff: 127"},
      {panel, 1067, "Delay time: 0 ms"},                {g_riffPanel, 1086, "Tempo: 96 BPM"},
      {g_riffPanel, 1068, "Step 16 note: 24"},          {g_riffPanel, 1087, "Transpose: 0 semitones"},
  };
  for (const Case& c : cases) {
    DragKnob(*c.dialog, c.id, kFarDrag);
    doubleClick(*c.dialog, c.id);
    EXPECT_EQ(KnobOf(*c.dialog, c.id)->ToolTipText(), c.tip) << c.id;
  }
  EXPECT_EQ(g_voice->GetParam(kAmpSustain), 200);
  EXPECT_EQ(g_echoDelay.GetTimeMs(), 0.0f);
  EXPECT_EQ(g_riffPlayer->GetParam(kStepNote0 + 15), 24);

  // The tooltip the window system asks for is that text, and it follows a turn while it shows.
  QWidget* sustain = panel->GetDlgItem(1011);
  QHelpEvent help(QEvent::ToolTip, QPoint(10, 20), sustain->mapToGlobal(QPoint(10, 20)));
  QApplication::sendEvent(sustain, &help);
  EXPECT_EQ(QToolTip::text(), QStringLiteral("Volume envelope sustain: 200 ms"));
  QToolTip::hideText();
}

TEST_F(SynthPanelTest, TheMenuOffersTheAboutBoxForItsCommands) {
  const CPopupMenu& menu = panel->GetSystemMenu();
  // The bank's Presets and a separator come first, then the About entry, the low-latency switch and
  // the grayed line that says what plays.
  ASSERT_EQ(menu.GetMenuItemCount(), 5);
  EXPECT_EQ(menu.GetMenuItemID(4), CSynthPanel::kSoundStatusCommand);
  EXPECT_TRUE(menu.GetMenuString(4).startsWith(QStringLiteral("Sound: ")));
  EXPECT_EQ(menu.GetMenuItemID(2), 16);
  EXPECT_EQ(menu.GetMenuString(2), QStringLiteral("&A propos de Quembrel..."));
  EXPECT_EQ(menu.GetMenuItemID(3), CSynthPanel::kLowLatencyCommand);
  EXPECT_EQ(menu.GetMenuString(3), QStringLiteral("&Low latency"));

  struct Case {
    int command;
    bool opens;
  };
  for (const Case c : {Case{16, true}, Case{31, true}, Case{0xF060, false}, Case{32, false}, Case{15, false}}) {
    QString seen;
    QTimer::singleShot(0, [&seen] {
      QWidget* box = QApplication::activeModalWidget();
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == QStringLiteral("A propos de Quembrel")) {
          box = w;
        }
      }
      if (box != nullptr && box->windowTitle() == QStringLiteral("A propos de Quembrel")) {
        seen = box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>()) {
          seen += "|" + label->text();
        }
        box->close();
      }
    });
    panel->OnSysCommand(c.command, 0);
    QApplication::processEvents();
    if (c.opens) {
      EXPECT_EQ(seen, QStringLiteral("A propos de Quembrel||Quembrel version 1.0|https://quembrel.org"))
          << c.command;
    } else {
      EXPECT_TRUE(seen.isEmpty()) << c.command;
    }
  }
}

// Without a sound server here the low-latency output cannot start: the classic stream plays on,
// the check mark says so, and the choice is still kept for the next run.
TEST_F(SynthPanelTest, LowLatencyItemSwitchesTheOutputAndIsRemembered) {
  const std::filesystem::path folder = TestFolder("quembrel_settings");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder.string()));
  EXPECT_FALSE(panel->GetSystemMenu().IsMenuItemChecked(CSynthPanel::kLowLatencyCommand));
  // The scripted sound layer runs no audio thread here: a stand-in answers the classic stream's stop.
  const auto switchOutput = [this] {
    std::thread audio([] {
      while (g_audioStream.FillBuffer()) {
      }
    });
    panel->OnSysCommand(CSynthPanel::kLowLatencyCommand, 0);
    audio.join();
  };
  switchOutput();
  const QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  EXPECT_TRUE(settings.value(CSynthPanel::kLowLatencySetting).toBool());
  EXPECT_EQ(ProgramOutput().GetMode() == OutputMode::kLowLatency,
            panel->GetSystemMenu().IsMenuItemChecked(CSynthPanel::kLowLatencyCommand));
  // Where a server did take it, the item switches back.
  if (panel->GetSystemMenu().IsMenuItemChecked(CSynthPanel::kLowLatencyCommand)) {
    switchOutput();
    EXPECT_FALSE(QSettings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication)
                     .value(CSynthPanel::kLowLatencySetting)
                     .toBool());
  }
  EXPECT_EQ(ProgramOutput().GetMode(), OutputMode::kClassic);
  EXPECT_FALSE(panel->GetSystemMenu().IsMenuItemChecked(CSynthPanel::kLowLatencyCommand));
}

// "Learn MIDI controller" binds the next control change, on any channel, to the control right-clicked;
// the controller then moves it over its whole range as a hand would, reaching the modules. The
// bindings are kept for the next run, and "Forget MIDI controller" ends one.
TEST_F(SynthPanelTest, LearnedControllersMoveTheirControlsAndAreRemembered) {
  const std::filesystem::path folder = TestFolder("quembrel_learn_settings");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder.string()));
  CMidiLearn& learn = *panel->GetMidiLearn();
  CRiffPanel& riff = *g_riffPanel;
  CMidiNoteHandler midi(learn);
  const auto send = [&](std::uint8_t status, std::uint8_t controller, std::uint8_t value) {
    const std::uint8_t bytes[] = {status, controller, value};
    midi.Receive(bytes, sizeof(bytes));
    learn.Poll();
  };
  const auto pointAt = [](const CDialog& dialog, int id) {
    return dialog.GetDlgItem(id)->mapToGlobal(dialog.GetDlgItem(id)->rect().center());
  };
  // What a right click finds: a knob, and a radio group by its first button.
  const QPoint knobPoint = pointAt(*panel, CSynthPanel::kCutoffKnobId);
  EXPECT_EQ(panel->LearnableControlAt(knobPoint.x(), knobPoint.y()), CSynthPanel::kCutoffKnobId);
  const QPoint radioPoint = pointAt(*panel, CSynthPanel::kOscAWaveFirstId + 2);
  EXPECT_EQ(panel->LearnableControlAt(radioPoint.x(), radioPoint.y()), CSynthPanel::kOscAWaveFirstId);
  const QPoint buttonPoint = pointAt(*panel, CSynthPanel::kNoteOnId);
  EXPECT_EQ(panel->LearnableControlAt(buttonPoint.x(), buttonPoint.y()), 0);

  send(0xB0, 74, 64);  // bound to nothing: ignored
  EXPECT_EQ(g_voice->GetParam(kCutoff), kVoiceParams[kCutoff].defaultValue);
  learn.OnMenuCommand(*panel, CSynthPanel::kCutoffKnobId, CMidiLearn::kLearnCommand);
  for (const std::uint8_t value : {127, 64, 0}) {
    send(value == 127 ? 0xB5 : 0xB0, 74, value);
    std::printf("CC 74 = %3d: Cutoff knob %3d, voice %3d\n", value, KnobOf(*panel, CSynthPanel::kCutoffKnobId)->GetValue(),
                g_voice->GetParam(kCutoff));
    const int expected = value == 127 ? kVoiceParams[kCutoff].maximum : value == 64 ? 129 : kVoiceParams[kCutoff].minimum;
    EXPECT_EQ(g_voice->GetParam(kCutoff), expected);
    EXPECT_EQ(KnobOf(*panel, CSynthPanel::kCutoffKnobId)->GetValue(), expected);
  }
  EXPECT_EQ(learn.ControllerOf(*panel, CSynthPanel::kCutoffKnobId), 74);

  learn.OnMenuCommand(*panel, CSynthPanel::kOscAWaveFirstId, CMidiLearn::kLearnCommand);
  send(0xB9, 20, 127);
  EXPECT_EQ(g_voice->GetParam(kOscAWave), 3);
  EXPECT_EQ(panel->IsDlgButtonChecked(CSynthPanel::kOscAWaveFirstId + 3), kChecked);
  learn.OnMenuCommand(riff, CRiffPanel::kFirstGateId + 5, CMidiLearn::kLearnCommand);
  send(0xB0, 21, 0);
  EXPECT_EQ(g_riffPlayer->GetParam(kStepGate0 + 5), 0);
  EXPECT_EQ(riff.IsDlgButtonChecked(CRiffPanel::kFirstGateId + 5), kUnchecked);

  QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  EXPECT_EQ(settings.value("midiLearn/cc74").toString(), QStringLiteral("synth/Cutoff"));
  EXPECT_EQ(settings.value("midiLearn/cc20").toString(), QStringLiteral("synth/OscAWave"));
  EXPECT_EQ(settings.value("midiLearn/cc21").toString(), QStringLiteral("riff/StepGate5"));
  CVoiceNoteTarget voice(*g_voice);
  CMidiLearn nextRun(voice);
  nextRun.Start(*panel, riff);
  EXPECT_EQ(nextRun.ControllerOf(*panel, CSynthPanel::kCutoffKnobId), 74);
  EXPECT_EQ(nextRun.ControllerOf(riff, CRiffPanel::kFirstGateId + 5), 21);

  learn.OnMenuCommand(*panel, CSynthPanel::kCutoffKnobId, CMidiLearn::kForgetCommand);
  send(0xB0, 74, 127);
  EXPECT_EQ(g_voice->GetParam(kCutoff), kVoiceParams[kCutoff].minimum);
  EXPECT_FALSE(QSettings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication)
                   .contains("midiLearn/cc74"));
}

// The letter keys play the voice on either panel, through the same note handling as MIDI.
TEST_F(SynthPanelTest, ComputerKeysPlayTheVoiceOnBothPanels) {
  StereoFrame frames[CSynthVoice::kControlBlock];
  for (CDialog* on : {static_cast<CDialog*>(panel), static_cast<CDialog*>(g_riffPanel)}) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_H, Qt::NoModifier);
    QApplication::sendEvent(on->GetWidget(), &press);
    g_voice->Render(frames, 0);
    EXPECT_TRUE(g_voice->IsActive());
    EXPECT_EQ(g_voice->GetBaseFrequency(), 440.0f);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_H, Qt::NoModifier);
    QApplication::sendEvent(on->GetWidget(), &release);
    for (int i = 0; i < 44100 * 2 && g_voice->IsActive(); i += CSynthVoice::kControlBlock) {
      g_voice->Render(frames, CSynthVoice::kControlBlock);
    }
    EXPECT_FALSE(g_voice->IsActive());
  }
}

// A key held while a menu or a dialog opens is released at once: its own release goes to the menu
// or dialog, and the note, held by a sustain of 0, would otherwise sound on.
TEST_F(SynthPanelTest, HeldKeysAreLetGoWhenTheKeysGoElsewhere) {
  StereoFrame frames[CSynthVoice::kControlBlock];
  // Lets go of S inside whatever has opened, then closes it with Escape as a user would.
  const auto releaseInsideAndEscape = [] {
    QTimer::singleShot(0, [] {
      QWidget* opened = QApplication::activePopupWidget();
      if (opened == nullptr) opened = QApplication::activeModalWidget();
      ASSERT_NE(opened, nullptr);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_S, Qt::NoModifier);
      QApplication::sendEvent(opened, &release);
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(opened, &escape);
    });
  };
  const auto rightClick = [&releaseInsideAndEscape](const CDialog& on) {
    releaseInsideAndEscape();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), on.GetWidget()->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(on.GetWidget(), &click);
  };
  struct Case {
    const char* what;
    const CDialog* keysTo;
    std::function<void()> act;
  };
  const Case cases[] = {
      {"the synth panel's menu", panel, [&] { rightClick(*panel); }},
      {"the riff panel's menu", g_riffPanel, [&] { rightClick(*g_riffPanel); }},
      {"the About box", panel,
       [&] {
         releaseInsideAndEscape();
         panel->OnSysCommand(CSynthPanel::kAboutCommand, 0);
       }},
      {"minimising", panel,
       [&] {
         panel->GetWidget()->setWindowState(Qt::WindowMinimized);
         panel->GetWidget()->setWindowState(Qt::WindowNoState);
       }},
      {"hiding", g_riffPanel,
       [&] {
         g_riffPanel->GetWidget()->hide();
         g_riffPanel->GetWidget()->show();
       }},
  };
  g_voice->SetParam(kAmpSustain, 0);
  for (const Case& c : cases) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_S, Qt::NoModifier);
    QApplication::sendEvent(c.keysTo->GetWidget(), &press);
    g_voice->Render(frames, CSynthVoice::kControlBlock);
    ASSERT_TRUE(g_voice->IsActive()) << c.what;
    c.act();
    QApplication::processEvents();
    for (int i = 0; i < 44100 * 2 && g_voice->IsActive(); i += CSynthVoice::kControlBlock) {
      g_voice->Render(frames, CSynthVoice::kControlBlock);
    }
    EXPECT_FALSE(g_voice->IsActive()) << c.what;
  }
}

TEST_F(SynthPanelTest, EnterDoesNothing) {
  PressKey(*panel, Qt::Key_Return);
  EXPECT_TRUE(panel->GetWidget()->isVisible());
  EXPECT_TRUE(g_riffPanel->GetWidget()->isVisible());
}

// The close box ends the panel after stopping the sound and finishing the recording, so the pass
// during which the audio thread acknowledges the stop is the last one in the file. The program is
// over afterwards: like every test, this one runs in a process of its own.
TEST_F(SynthPanelTest, CloseBoxStopsTheSoundThenFinishesTheRecording) {
  const std::filesystem::path folder = TestFolder("quembrel_close");
  LoadPreset(*panel, (folder / "default.kv7").string(), DefaultValues(kVoiceParams));
  FakeSound().SetPositionMode(FakePositionMode::kFixed);
  FakeSound().SetPosition(0);
  ASSERT_TRUE(g_audioStream.FillBuffer());
  const std::string wav = (folder / "take.wav").string();
  ScriptedFileDialog::Answers().push_back(wav);
  Click(*g_riffPanel, CRiffPanel::kRecordId);
  ASSERT_TRUE(g_wavRecorder.IsRecording());
  Click(*g_riffPanel, CRiffPanel::kPlayId);

  // Each pass finds half the loop played, and renders it.
  constexpr std::uint32_t kHalfBytes = CAudioStream::kLoopBytes / 2;
  std::uint32_t position = 0;
  const auto pass = [&position] {
    position = (position + kHalfBytes) % CAudioStream::kLoopBytes;
    FakeSound().SetPosition(position);
    return g_audioStream.FillBuffer();
  };
  ASSERT_TRUE(pass());
  std::thread audio([&pass] {
    while (pass()) {
    }
  });
  RequestClose(*panel);
  audio.join();
  EXPECT_FALSE(g_wavRecorder.IsRecording());
  EXPECT_FALSE(panel->GetWidget()->isVisible());

  const WavFileContents file = ReadWavFile(wav);
  ASSERT_TRUE(IsCompleteWav(file));
  constexpr std::size_t kPassSamples = kHalfBytes / 2;
  ASSERT_GE(file.samples.size(), 2 * kPassSamples);
  ASSERT_EQ(file.samples.size() % kPassSamples, 0u);
  std::vector<std::int16_t> lastPass(kPassSamples);
  const std::uint32_t lastPassOffset = (position + kHalfBytes) % CAudioStream::kLoopBytes;
  std::memcpy(lastPass.data(), FakeSound().GetLoopBytes() + lastPassOffset, kHalfBytes);
  const std::vector<std::int16_t> fileLast(file.samples.end() - kPassSamples, file.samples.end());
  const std::vector<std::int16_t> fileBefore(file.samples.end() - 2 * kPassSamples,
                                             file.samples.end() - kPassSamples);
  EXPECT_NE(fileLast, fileBefore);  // the riff plays on, so the last pass is told apart
  EXPECT_EQ(fileLast, lastPass);
}

}  // namespace

namespace {

// The Presets menu lists exactly the bank's sounds by category; choosing one sets the voice, every
// knob and the effects to the text's values, as Load would, and leaves the dialogs' path alone.
// With no path remembered, the Load dialog opens on the bank.
TEST_F(SynthPanelTest, PresetsMenuListsAndLoadsTheBank) {
  const CPopupMenu& menu = panel->GetSystemMenu();
  ASSERT_EQ(menu.GetMenuString(0), QStringLiteral("Presets"));
  ASSERT_NE(menu.GetSubMenu(0), nullptr);
  const std::vector<BankMenuItem> items = BankMenuItems(*menu.GetSubMenu(0));
  std::vector<std::string> listed;
  for (const BankMenuItem& item : items) listed.push_back(item.category + "/" + item.name);
  EXPECT_EQ(listed, BankTextNames(BankKind::kSound));

  g_lastPresetPath = "/nowhere/mine.kv7";
  for (const BankMenuItem& item : items) {
    const std::vector<ParamValue> values = BankTextValues(BankKind::kSound, item.name);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kVoiceParamCount)) << item.name;
    panel->OnSysCommand(item.id, 0);
    for (int i = 0; i < kVoiceParamCount; ++i) EXPECT_EQ(g_voice->GetParam(i), values[i]) << item.name << " " << i;
    for (const KnobCase& c : kKnobs) EXPECT_EQ(KnobOf(*panel, c.id)->GetValue(), values[c.param]) << item.name;
    EXPECT_EQ(g_distortion.GetAmount(), values[kDistAmount] >= 1 ? float(values[kDistAmount]) : 0.0f) << item.name;
    EXPECT_EQ(g_echoDelay.GetTimeMs(), float(values[kDelayTime])) << item.name;
  }
  EXPECT_EQ(g_lastPresetPath, "/nowhere/mine.kv7");

  g_lastPresetPath.clear();
  Click(*panel, CSynthPanel::kLoadPresetId);
  ASSERT_EQ(ScriptedFileDialog::Requests().size(), 1u);
  EXPECT_EQ(ScriptedFileDialog::Requests()[0].fileName, CBankCatalog::Installed().FolderOf(BankKind::kSound) + "/");
}

}  // namespace
