// The panels when a file fails: a preset or a riff that cannot be loaded (cut short, random bytes,
// a folder, missing), saves and a recording start onto a full disk, and a recording that fills
// the disk. Each shows one message box, found through the widget tree, that names the file and
// the reason; a failed load changes no control, a failed save or start keeps the earlier file.
// The full disk is a small tmpfs, mounted where the test may mount (as root); elsewhere those
// tests are skipped.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "engine/synth_voice.h"
#include "platform/sound/audio_stream.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"
#include "tests/output/wav_file_reader.h"
#include "tests/ui/program_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFarDrag = 512;

// Every control's state in both panels and every parameter behind them.
std::vector<int> ControlsAndParams(const CSynthPanel& synth) {
  std::vector<int> state;
  for (const CDialog* dialog : {static_cast<const CDialog*>(&synth), static_cast<const CDialog*>(g_riffPanel)}) {
    for (QAbstractButton* button : dialog->GetWidget()->findChildren<QAbstractButton*>()) {
      state.push_back(button->isChecked());
      auto* control = qobject_cast<COwnerDrawButton*>(button);
      const auto* knob = control != nullptr ? dynamic_cast<const CKnob*>(control->Owner()) : nullptr;
      state.push_back(knob != nullptr ? knob->GetValue() : -1);
    }
  }
  for (int i = 0; i < g_voice->GetParamCount(); ++i) {
    state.push_back(g_voice->GetParam(i));
  }
  for (int i = 0; i < g_riffPlayer->GetParamCount(); ++i) {
    state.push_back(g_riffPlayer->GetParam(i));
  }
  return state;
}

// A tmpfs of the given size on a fresh folder, unmounted again at the end.
class SmallDisk {
 public:
  SmallDisk(const char* name, const char* size) : folder(TestFolder(name)) {
    mounted = mount("tmpfs", folder.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted) {
      umount2(folder.c_str(), MNT_DETACH);
    }
  }
  // Takes every byte left.
  void Fill() const {
    const int fd = open((folder / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::vector<char> block(4096, 'x');
    while (fd >= 0 && write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
  }
  std::string PathOf(const char* name) const { return (folder / name).string(); }

  fs::path folder;
  bool mounted = false;
};

class FileFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    synth = &StartProgram();
    ScriptedFileDialog::Answers().clear();
  }
  // Chooses `path` in the dialog that `button` opens and returns the message boxes shown.
  static std::vector<std::string> ChooseAndRead(const CDialog& dialog, int button, const std::string& path) {
    ScriptedFileDialog::Answers().push_back(path);
    MessageBoxReader boxes;
    Click(dialog, button);
    return boxes.texts;
  }
  CSynthPanel* synth = nullptr;
};

TEST_F(FileFailureTest, ALoadThatFailsSaysWhyAndChangesNoControl) {
  const fs::path folder = TestFolder("quembrel_bad_files");
  const std::string cut = (folder / "cut.kv7").string();
  WriteParamFile(cut, DefaultValues(kVoiceParams));
  fs::resize_file(cut, 30);
  const std::string random = (folder / "random.riff").string();
  std::ofstream(random, std::ios::binary) << "\x7f\x6a\x91\x03\xee\x12\x5c\x80\x01";
  fs::create_directory(folder / "folder.kv7");
  const struct {
    const CDialog* dialog;
    int button;
    std::string path;
    std::string says;
  } cases[] = {
      {synth, CSynthPanel::kLoadPresetId, cut, "Cannot load the preset \"" + cut + "\": it ends before its last value"},
      {g_riffPanel, CRiffPanel::kLoadId, random, "Cannot load the riff \"" + random + "\": it says it holds 27263"},
      {synth, CSynthPanel::kLoadPresetId, (folder / "folder.kv7").string(), "it is a directory"},
      {g_riffPanel, CRiffPanel::kLoadId, (folder / "missing.riff").string(), "no such file or folder"},
  };
  DragKnob(*synth, 1037, kFarDrag);
  DragKnob(*g_riffPanel, 1053, kFarDrag);
  for (const auto& c : cases) {
    const std::vector<int> before = ControlsAndParams(*synth);
    const std::vector<std::string> boxes = ChooseAndRead(*c.dialog, c.button, c.path);
    ASSERT_EQ(boxes.size(), 1u) << c.path;
    EXPECT_NE(boxes[0].find(c.says), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find(c.path), std::string::npos) << boxes[0];
    EXPECT_EQ(ControlsAndParams(*synth), before) << c.path;
  }
}

TEST_F(FileFailureTest, SavesAndARecordingOntoAFullDiskSaySoAndKeepTheEarlierFiles) {
  const SmallDisk disk("quembrel_full_disk", "256k");
  if (!disk.mounted) {
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  }
  const std::string preset = disk.PathOf("saved.kv7");
  const std::string riff = disk.PathOf("saved.riff");
  const std::string take = disk.PathOf("take.wav");
  ASSERT_TRUE(ChooseAndRead(*synth, CSynthPanel::kSavePresetId, preset).empty());
  ASSERT_TRUE(ChooseAndRead(*g_riffPanel, CRiffPanel::kSaveId, riff).empty());
  std::ofstream(take) << "an earlier take";
  const std::vector<unsigned char> earlier[] = {ReadFileBytes(preset), ReadFileBytes(riff), ReadFileBytes(take)};
  disk.Fill();
  DragKnob(*synth, 1037, -kFarDrag);
  DragKnob(*g_riffPanel, 1053, -kFarDrag);

  const struct {
    const CDialog* dialog;
    int button;
    std::string path;
    const char* says;
  } cases[] = {
      {synth, CSynthPanel::kSavePresetId, preset, "Cannot save the preset"},
      {g_riffPanel, CRiffPanel::kSaveId, riff, "Cannot save the riff"},
      {g_riffPanel, CRiffPanel::kRecordId, take, "Cannot record to"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::vector<std::string> boxes = ChooseAndRead(*cases[i].dialog, cases[i].button, cases[i].path);
    ASSERT_EQ(boxes.size(), 1u) << cases[i].path;
    EXPECT_NE(boxes[0].find(std::string(cases[i].says) + " \"" + cases[i].path + "\": the disk is full"),
              std::string::npos)
        << boxes[0];
    EXPECT_EQ(ReadFileBytes(cases[i].path), earlier[i]) << cases[i].path;
  }
  EXPECT_FALSE(g_wavRecorder.IsRecording());
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(disk.folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"filler", "saved.kv7", "saved.riff", "take.wav"}));
}

TEST_F(FileFailureTest, ARecordingThatFillsTheDiskStopsAndSaysSo) {
  const SmallDisk disk("quembrel_filled_disk", "128k");
  if (!disk.mounted) {
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  }
  const std::string take = disk.PathOf("take.wav");
  FakeSound().SetPositionMode(FakePositionMode::kFixed);
  ASSERT_TRUE(ChooseAndRead(*g_riffPanel, CRiffPanel::kRecordId, take).empty());
  ASSERT_TRUE(g_wavRecorder.IsRecording());
  Click(*g_riffPanel, CRiffPanel::kPlayId);
  // About 3.5 s of sound: more than the disk holds, less than the recorder's ring.
  std::uint32_t position = 0;
  for (int block = 0; block < 300; ++block) {
    position = (position + 1024) % CAudioStream::kLoopBytes;
    FakeSound().SetPosition(position);
    ASSERT_TRUE(g_audioStream.FillBuffer());
  }
  MessageBoxReader boxes;
  QTest::qWait(4 * CRiffPanel::kDrainIntervalMs);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("The recording \"" + take + "\" stopped: the disk is full."), std::string::npos)
      << boxes.texts[0];
  EXPECT_FALSE(g_wavRecorder.IsRecording());
  const WavFileContents wav = ReadWavFile(take);
  EXPECT_TRUE(IsCompleteWav(wav));
  EXPECT_GT(wav.samples.size(), 44100u);
  Click(*g_riffPanel, CRiffPanel::kStopId);
}

}  // namespace
