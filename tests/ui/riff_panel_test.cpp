// Tests of the riff panel after the program's start-up: step, tempo and transpose knobs reach
// their riff parameters within their ranges, gate boxes write 1 and 0, riffs go through the
// dialogs (also after a preset load), the recording dialog starts and "Stop rec." finishes, the
// step light follows the step being heard, and the panel cannot be closed or hidden.
#include "ui/riff_panel.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <fstream>

#include "engine/synth_voice.h"
#include "platform/sound/audio_stream.h"
#include "output/distortion.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "tests/output/wav_file_reader.h"
#include "tests/ui/bank_fixture.h"
#include "tests/ui/program_fixture.h"
#include "ui/synth_panel.h"

namespace {

constexpr int kFarDrag = 512;

class RiffPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartProgram();
    panel = g_riffPanel;
    ScriptedFileDialog::Answers().clear();
    ScriptedFileDialog::Requests().clear();
  }
  CRiffPanel* panel = nullptr;
};

TEST_F(RiffPanelTest, KnobsReachTheirParametersWithinTheirRanges) {
  struct Case {
    int id;
    int param;
    int low;
    int high;
  };
  std::vector<Case> cases = {{1086, kBpm, 1, 200}, {1087, kTranspose, -48, 48}};
  for (int k = 0; k < CRiffPanel::kStepCount; ++k) {
    cases.push_back({1053 + k, kStepNote0 + k, 0, 96});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(CWindow::TextOf(panel->GetDlgItem(c.id)), c.id >= 1086 ? (c.id == 1086 ? "BPM" : "Transp.") : "Pulse");
    DragKnob(*panel, c.id, kFarDrag);
    EXPECT_EQ(g_riffPlayer->GetParam(c.param), c.high) << c.id;
    DragKnob(*panel, c.id, -kFarDrag);
    EXPECT_EQ(g_riffPlayer->GetParam(c.param), c.low) << c.id;
  }
  // 97 values over 256 pixels: 3 pixels make one note.
  DragKnob(*panel, 1053, 3);
  EXPECT_EQ(g_riffPlayer->GetParam(kStepNote0), 1);
}

TEST_F(RiffPanelTest, GateBoxesWriteOneAndZero) {
  for (int k = 0; k < CRiffPanel::kStepCount; ++k) {
    const int id = CRiffPanel::kFirstGateId + k;
    const int before = g_riffPlayer->GetParam(kStepGate0 + k);
    Click(*panel, id);
    EXPECT_EQ(g_riffPlayer->GetParam(kStepGate0 + k), 1 - before) << id;
    EXPECT_EQ(panel->IsDlgButtonChecked(id), 1 - before);
    Click(*panel, id);
    EXPECT_EQ(g_riffPlayer->GetParam(kStepGate0 + k), before) << id;
  }
}

TEST_F(RiffPanelTest, RiffsSaveAndLoadThroughTheDialogsAfterAPreset) {
  const std::filesystem::path folder = TestFolder("quembrel_riffs");
  const std::string riff = (folder / "walk.riff").string();

  DragKnob(*panel, 1063, kFarDrag);  // the eleventh step knob: step 10
  DragKnob(*panel, 1064, -kFarDrag);  // the twelfth: step 11
  EXPECT_EQ(g_riffPlayer->GetParam(14), 96);
  EXPECT_EQ(g_riffPlayer->GetParam(15), 0);
  Click(*panel, CRiffPanel::kFirstGateId + 3);
  const int gate3 = g_riffPlayer->GetParam(kStepGate0 + 3);
  ScriptedFileDialog::Answers().push_back(riff);
  Click(*panel, CRiffPanel::kSaveId);
  ASSERT_EQ(ScriptedFileDialog::Requests().size(), 1u);
  EXPECT_FALSE(ScriptedFileDialog::Requests()[0].open);
  EXPECT_EQ(ScriptedFileDialog::Requests()[0].defaultExtension, "riff");
  EXPECT_EQ(ScriptedFileDialog::Requests()[0].filter, "Marrick Riff KV7|*.riff");
  EXPECT_EQ(ScriptedFileDialog::Requests()[0].flags, 0x806u);
  EXPECT_EQ(std::filesystem::file_size(riff), 74u);

  // Load a preset on the synth panel, then the riff here.
  const std::string preset = (folder / "default.kv7").string();
  CSynthPanel& synth = StartProgram();
  ScriptedFileDialog::Answers().push_back(preset);
  Click(synth, CSynthPanel::kSavePresetId);
  ScriptedFileDialog::Answers().push_back(preset);
  Click(synth, CSynthPanel::kLoadPresetId);

  DragKnob(*panel, 1063, -kFarDrag);
  DragKnob(*panel, 1064, kFarDrag);
  Click(*panel, CRiffPanel::kFirstGateId + 3);
  ScriptedFileDialog::Answers().push_back(riff);
  Click(*panel, CRiffPanel::kLoadId);
  const FilePickerRequest& load = ScriptedFileDialog::Requests().back();
  EXPECT_TRUE(load.open);
  EXPECT_EQ(load.defaultExtension, "");
  EXPECT_EQ(load.fileName, riff);
  EXPECT_EQ(load.filter, "Marrick Riff KV7|*.riff|All|*.*");
  EXPECT_EQ(g_riffPlayer->GetParam(14), 96);
  EXPECT_EQ(g_riffPlayer->GetParam(15), 0);
  EXPECT_EQ(KnobOf(*panel, 1063)->GetValue(), 96);
  EXPECT_EQ(panel->IsDlgButtonChecked(CRiffPanel::kFirstGateId + 3), gate3);
  EXPECT_EQ(g_knobCallback, &CRiffPanel::OnRiffKnob);
  EXPECT_EQ(KnobOf(synth, 1066)->GetCallback(), &CSynthPanel::OnSynthKnob);

  // Step knobs after both loads edit the riff only: step 0 and step 13 (whose id a synth knob shares).
  std::vector<ParamValue> voiceBefore;
  for (int i = 0; i < g_voice->GetParamCount(); ++i) {
    voiceBefore.push_back(g_voice->GetParam(i));
  }
  const float distBefore = g_distortion.GetAmount();
  const int step0 = g_riffPlayer->GetParam(4);
  const int step13 = g_riffPlayer->GetParam(17);
  ASSERT_LT(step0, 90);
  ASSERT_LT(step13, 90);
  DragKnob(*panel, 1053, 3);
  DragKnob(*panel, 1066, 3);
  EXPECT_EQ(g_riffPlayer->GetParam(4), step0 + 1);
  EXPECT_EQ(g_riffPlayer->GetParam(17), step13 + 1);
  for (int i = 0; i < g_voice->GetParamCount(); ++i) {
    EXPECT_EQ(g_voice->GetParam(i), voiceBefore[i]) << i;
  }
  EXPECT_EQ(g_distortion.GetAmount(), distBefore);

  // Cancelled dialogs and a file that does not load change nothing but what they must.
  DragKnob(*panel, 1063, -kFarDrag);
  Click(*panel, CRiffPanel::kLoadId);
  Click(*panel, CRiffPanel::kSaveId);
  EXPECT_EQ(g_riffPlayer->GetParam(14), 0);
  EXPECT_EQ(g_lastRiffPath, riff);
  const std::string missing = (folder / "missing.riff").string();
  ScriptedFileDialog::Answers().push_back(missing);
  MessageBoxReader boxes;
  Click(*panel, CRiffPanel::kLoadId);
  EXPECT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(g_riffPlayer->GetParam(14), 0);
  EXPECT_EQ(g_lastRiffPath, missing);
}

TEST_F(RiffPanelTest, RecordAsksForAFileAndStopRecFinishesIt) {
  const std::string wav = (TestFolder("quembrel_record") / "take.wav").string();
  Click(*panel, CRiffPanel::kRecordId);  // cancelled
  EXPECT_FALSE(g_wavRecorder.IsRecording());
  EXPECT_TRUE(g_lastWavPath.empty());
  Click(*panel, CRiffPanel::kStopRecordId);  // nothing to finish
  EXPECT_FALSE(g_wavRecorder.IsRecording());

  ScriptedFileDialog::Answers().push_back(wav);
  Click(*panel, CRiffPanel::kRecordId);
  const FilePickerRequest& request = ScriptedFileDialog::Requests().back();
  EXPECT_FALSE(request.open);
  EXPECT_EQ(request.defaultExtension, "wav");
  EXPECT_EQ(request.filter, "WAV file|*.wav");
  EXPECT_EQ(request.flags, 0x806u);
  EXPECT_TRUE(g_wavRecorder.IsRecording());
  EXPECT_EQ(g_lastWavPath, wav);
  Click(*panel, CRiffPanel::kStopRecordId);
  EXPECT_FALSE(g_wavRecorder.IsRecording());
  EXPECT_TRUE(IsCompleteWav(ReadWavFile(wav)));

  Click(*panel, CRiffPanel::kRecordId);
  EXPECT_EQ(ScriptedFileDialog::Requests().back().fileName, wav);
}

TEST_F(RiffPanelTest, PlayAndStopDriveTheRiffPlayer) {
  Click(*panel, CRiffPanel::kPlayId);
  EXPECT_TRUE(g_riffPlayer->IsActive());
  Click(*panel, CRiffPanel::kStopId);
  EXPECT_FALSE(g_riffPlayer->IsActive());
}

// The stream's passes render up to the fake device's play position; the frame heard is always
// one loop behind the newest rendered, and the light may run ahead of that by as much as it
// catches up between passes.
TEST_F(RiffPanelTest, TheStepLightFollowsTheStepBeingHeard) {
  FakeSound().SetPositionMode(FakePositionMode::kFixed);
  g_riffPlayer->SetParam(kBpm, 96);
  const std::int64_t stepFrames = 2646000 / (96 * 4);
  const std::int64_t latency = CAudioStream::kLoopBytes / 2;
  const std::int64_t catchUp = 2 * CAudioStream::kPollMs * 44100 / 1000;
  std::uint32_t position = 0;
  FakeSound().SetPosition(position);
  ASSERT_TRUE(g_audioStream.FillBuffer());
  const auto heardStep = [&](std::int64_t frame) {
    return frame < 0 ? -1 : static_cast<int>((frame / stepFrames) % CRiffPanel::kStepCount);
  };
  const auto lit = [&] {
    int count = 0;
    for (int k = 0; k < CRiffPanel::kStepCount; ++k) {
      count += KnobOf(*panel, CRiffPanel::kFirstStepKnobId + k)->IsLit() ? 1 : 0;
    }
    EXPECT_EQ(count, panel->LitStep() < 0 ? 0 : 1);
    return panel->LitStep();
  };
  panel->UpdateStepLight();
  EXPECT_EQ(lit(), -1);

  Click(*panel, CRiffPanel::kPlayId);
  constexpr std::int64_t kPassFrames = 2000;
  std::vector<int> seen;
  for (std::int64_t rendered = kPassFrames; rendered <= 118000; rendered += kPassFrames) {
    position = (position + kPassFrames * 2) % CAudioStream::kLoopBytes;
    FakeSound().SetPosition(position);
    ASSERT_TRUE(g_audioStream.FillBuffer());
    panel->UpdateStepLight();
    const std::int64_t heard = rendered - latency;
    const int step = lit();
    if (heardStep(heard) == heardStep(heard + catchUp)) {
      EXPECT_EQ(step, heardStep(heard)) << "rendered " << rendered;
    } else {
      EXPECT_TRUE(step == heardStep(heard) || step == heardStep(heard + catchUp)) << "rendered " << rendered;
    }
    if (seen.empty() || seen.back() != step) {
      seen.push_back(step);
    }
  }
  // Nothing before the first step is heard, then every step in turn, and round again from 0.
  const std::vector<int> expected = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0};
  EXPECT_EQ(seen, expected);

  Click(*panel, CRiffPanel::kStopId);
  EXPECT_EQ(lit(), -1);
  for (int pass = 0; pass < 3; ++pass) {
    position = (position + kPassFrames * 2) % CAudioStream::kLoopBytes;
    FakeSound().SetPosition(position);
    ASSERT_TRUE(g_audioStream.FillBuffer());
    panel->UpdateStepLight();
    EXPECT_EQ(lit(), -1);
  }
}

TEST_F(RiffPanelTest, ThePanelStaysOpen) {
  ASSERT_TRUE(panel->GetWidget()->isVisible());
  EXPECT_FALSE(panel->GetWidget()->windowFlags() & Qt::WindowCloseButtonHint);
  PressKey(*panel, Qt::Key_Escape);
  PressKey(*panel, Qt::Key_Return);
  RequestClose(*panel);
  EXPECT_TRUE(panel->GetWidget()->isVisible());
}

}  // namespace

namespace {

// "Follow JACK transport" in the right-click menu reaches the output and is kept for the next run.
TEST_F(RiffPanelTest, FollowTransportItemReachesTheOutputAndIsRemembered) {
  const std::filesystem::path folder = TestFolder("quembrel_follow_settings");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder.string()));
  EXPECT_FALSE(panel->GetContextMenu().IsMenuItemChecked(CRiffPanel::kFollowTransportCommand));
  EXPECT_FALSE(ProgramOutput().GetFollowTransport());
  for (const bool wanted : {true, false}) {
    panel->OnMenuCommand(CRiffPanel::kFollowTransportCommand);
    EXPECT_EQ(panel->GetContextMenu().IsMenuItemChecked(CRiffPanel::kFollowTransportCommand), wanted);
    EXPECT_EQ(ProgramOutput().GetFollowTransport(), wanted);
    const QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
    EXPECT_EQ(settings.value(CRiffPanel::kFollowTransportSetting).toBool(), wanted);
  }
}

// The right-click Riffs menu lists exactly the bank's riffs by category; choosing one sets every
// step knob, gate box, tempo and transpose to the text's values and leaves the dialogs' path
// alone. With no path remembered, the Load dialog opens on the bank.
TEST_F(RiffPanelTest, RiffsMenuListsAndLoadsTheBank) {
  const CPopupMenu& menu = panel->GetContextMenu();
  ASSERT_EQ(menu.GetMenuString(0), QStringLiteral("Riffs"));
  ASSERT_NE(menu.GetSubMenu(0), nullptr);
  const std::vector<BankMenuItem> items = BankMenuItems(*menu.GetSubMenu(0));
  std::vector<std::string> listed;
  for (const BankMenuItem& item : items) listed.push_back(item.category + "/" + item.name);
  EXPECT_EQ(listed, BankTextNames(BankKind::kRiff));

  g_lastRiffPath = "/nowhere/mine.riff";
  for (const BankMenuItem& item : items) {
    const std::vector<ParamValue> values = BankTextValues(BankKind::kRiff, item.name);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kRiffParamCount)) << item.name;
    panel->OnMenuCommand(item.id);
    for (int i = 0; i < kRiffParamCount; ++i) EXPECT_EQ(g_riffPlayer->GetParam(i), values[i]) << item.name << " " << i;
    EXPECT_EQ(KnobOf(*panel, CRiffPanel::kBpmKnobId)->GetValue(), values[kBpm]) << item.name;
    EXPECT_EQ(KnobOf(*panel, CRiffPanel::kTransposeKnobId)->GetValue(), values[kTranspose]) << item.name;
    for (int k = 0; k < CRiffPanel::kStepCount; ++k) {
      EXPECT_EQ(KnobOf(*panel, CRiffPanel::kFirstStepKnobId + k)->GetValue(), values[kStepNote0 + k]) << item.name;
      EXPECT_EQ(panel->IsDlgButtonChecked(CRiffPanel::kFirstGateId + k), values[kStepGate0 + k]) << item.name;
    }
  }
  EXPECT_EQ(g_lastRiffPath, "/nowhere/mine.riff");

  g_lastRiffPath.clear();
  Click(*panel, CRiffPanel::kLoadId);
  ASSERT_EQ(ScriptedFileDialog::Requests().size(), 1u);
  EXPECT_EQ(ScriptedFileDialog::Requests()[0].fileName, CBankCatalog::Installed().FolderOf(BankKind::kRiff) + "/");
}

}  // namespace
