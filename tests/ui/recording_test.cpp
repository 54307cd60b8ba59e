// The program's recording against the offline renderer: a preset and a riff loaded through the
// panels, "Record", "Play", blocks rendered by the audio stream as the device's play position
// advances, "Stop rec.". The file must be a complete WAV whose samples after the leading silence
// are, sample for sample, those quembrel-render writes for the same preset, riff and block size.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "engine/voice_params.h"
#include "platform/sound/audio_stream.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_params.h"
#include "tests/output/wav_file_reader.h"
#include "tests/ui/program_fixture.h"

namespace {

constexpr int kBlockFrames = 512;
constexpr int kPlayedBlocks = 300;  // about 3.5 s: several bars with echoes
constexpr int kSilentBlocks = 3;

std::vector<std::int16_t> AfterLeadingSilence(const std::vector<std::int16_t>& samples) {
  auto first = samples.begin();
  while (first != samples.end() && *first == 0) {
    ++first;
  }
  return std::vector<std::int16_t>(first, samples.end());
}

// One pass of the audio stream with the play position `blocks` blocks further on.
void RenderBlocks(std::uint32_t& position, int blocks) {
  for (int b = 0; b < blocks; ++b) {
    position = (position + kBlockFrames * 2) % CAudioStream::kLoopBytes;
    FakeSound().SetPosition(position);
    ASSERT_TRUE(g_audioStream.FillBuffer());
  }
}

TEST(RecordingTest, TheRecordingMatchesTheOfflineRenderer) {
  CSynthPanel& synth = StartProgram(FakeThreadMode::kManual);
  FakeSound().SetPositionMode(FakePositionMode::kFixed);
  const std::filesystem::path folder = TestFolder("quembrel_recording");
  const std::string preset = (folder / "echo.kv7").string();
  const std::string riff = (folder / "line.riff").string();
  const std::string take = (folder / "take.wav").string();
  const std::string rendered = (folder / "rendered.wav").string();

  std::vector<ParamValue> voice = DefaultValues(kVoiceParams);
  voice[kOscBWave] = 0;
  voice[kCutoff] = 90;
  voice[kFltEnvAmount] = 60;
  voice[kLfo1Targets] = 3;
  voice[kDistAmount] = 12;
  voice[kDelayTime] = 180;
  voice[kDelayFeedback] = 45;
  WriteParamFile(preset, voice);
  std::vector<ParamValue> steps = DefaultValues(kRiffParams);
  steps[kBpm] = 150;
  steps[kTranspose] = 5;
  steps[kStepGate0 + 3] = 0;
  steps[kStepGate0 + 9] = 0;
  WriteParamFile(riff, steps);

  ScriptedFileDialog::Answers().push_back(preset);
  Click(synth, CSynthPanel::kLoadPresetId);
  ScriptedFileDialog::Answers().push_back(riff);
  Click(*g_riffPanel, CRiffPanel::kLoadId);
  ScriptedFileDialog::Answers().push_back(take);
  Click(*g_riffPanel, CRiffPanel::kRecordId);

  std::uint32_t position = 0;
  RenderBlocks(position, kSilentBlocks);
  Click(*g_riffPanel, CRiffPanel::kPlayId);
  RenderBlocks(position, kPlayedBlocks);
  Click(*g_riffPanel, CRiffPanel::kStopRecordId);

  const std::string command = std::string("'") + QUEMBREL_RENDER + "' --preset '" + preset + "' --riff '" + riff +
                              "' --block " + std::to_string(kBlockFrames) + " --frames " +
                              std::to_string(kBlockFrames * kPlayedBlocks) + " -o '" + rendered + "' 2>/dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

  const WavFileContents recorded = ReadWavFile(take);
  const WavFileContents reference = ReadWavFile(rendered);
  ASSERT_TRUE(IsCompleteWav(recorded));
  ASSERT_TRUE(IsCompleteWav(reference));
  EXPECT_EQ(recorded.samples.size(), static_cast<std::size_t>(kBlockFrames * (kSilentBlocks + kPlayedBlocks)));
  const std::vector<std::int16_t> ours = AfterLeadingSilence(recorded.samples);
  const std::vector<std::int16_t> theirs = AfterLeadingSilence(reference.samples);
  ASSERT_GT(theirs.size(), static_cast<std::size_t>(kBlockFrames * (kPlayedBlocks - 1)));
  ASSERT_EQ(ours.size(), theirs.size());
  std::size_t firstDifference = 0;
  while (firstDifference < ours.size() && ours[firstDifference] == theirs[firstDifference]) {
    ++firstDifference;
  }
  EXPECT_EQ(firstDifference, ours.size()) << "first difference at sample " << firstDifference;
}

}  // namespace
