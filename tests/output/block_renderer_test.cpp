// Tests of the block renderer: the conversion to 16-bit, block sizes (odd, tiny, full, oversized),
// silence before the voice exists, and that the recorder gets exactly the samples of the block.
#include "output/block_renderer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "engine/synth_voice.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"
#include "harness/fresh_modules.h"
#include "tests/output/wav_file_reader.h"

namespace {

// Fresh modules as the program's start-up makes them, with the riff playing, and effects in their
// initial state plus an echo, so that every stage of the chain leaves a mark.
void StartFreshChain() {
  CreateFreshModules();
  g_distortion.Init();
  g_echoDelay.Init();
  g_echoDelay.SetDelayTime(30.0f);
  g_echoDelay.SetFeedback(0.6f);
  g_riffPlayer->Play();
}

void RemoveChain() { StopProgramModules(); }

class BlockRendererTest : public ::testing::Test {
 protected:
  void TearDown() override { RemoveChain(); }
  std::string TempPath(const char* name) const {
    return (std::filesystem::temp_directory_path() /
            ("quembrel_block_renderer_" + std::to_string(getpid()) + "_" + name))
        .string();
  }
};

TEST(ConvertToPcm16Test, TruncatesScalesAndSaturates) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float left;
    std::int16_t sample;
  } cases[] = {
      {1.0f, 10922},    {-1.0f, -10922},  {3.0f, 32766},   {3.1f, 32767},     {-3.1f, -32768},
      {0.0001f, 1},     {-0.0001f, -1},   {0.5f, 5461},    {0.0f, 0},         {-0.0f, 0},
      {1e12f, 32767},   {-1e12f, -32768}, {nan, 0},        {-nan, 0},         {inf, 32767},
      {-inf, -32768},   {0.00009f, 0},    {-0.00009f, 0},  {3.00009f, 32767}, {-3.0001f, -32768},
  };
  std::vector<StereoFrame> frames;
  for (const auto& c : cases) {
    frames.push_back({c.left, 12345.0f});
  }
  std::vector<std::int16_t> samples(frames.size(), 999);
  ConvertToPcm16(frames.data(), samples.data(), static_cast<int>(frames.size()));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(samples[i], cases[i].sample) << "left " << cases[i].left;
  }
}

TEST_F(BlockRendererTest, WithoutAVoiceBlocksAreSilentAndStillRecorded) {
  RemoveChain();
  g_echoDelay.Init();
  g_echoDelay.SetFeedback(1.0f);
  const std::string path = TempPath("silent.wav");
  g_wavRecorder.Start(path.c_str());
  std::vector<std::int16_t> block(50, 777);
  RenderBlock(block.data(), 100);
  EXPECT_TRUE(g_wavRecorder.Finish());
  EXPECT_EQ(block, std::vector<std::int16_t>(50, 0));
  EXPECT_EQ(g_echoDelay.GetWriteIndex(), 0u);
  EXPECT_EQ(ReadWavFile(path).samples, block);
  std::filesystem::remove(path);
}

TEST_F(BlockRendererTest, OnlyWholeSamplesInsideTheRegionAreWritten) {
  StartFreshChain();
  std::vector<std::int16_t> warm(882);
  RenderBlock(warm.data(), 1764);
  const struct {
    std::int32_t bytes;
    int samplesWritten;
  } cases[] = {{7, 3}, {1, 0}, {0, 0}, {-2, 0}, {-7, 0}, {2, 1}, {3, 1}};
  for (const auto& c : cases) {
    unsigned char region[16];
    std::memset(region, 0x5A, sizeof region);
    g_wavRecorder.Start(TempPath("odd.wav").c_str());
    RenderBlock(reinterpret_cast<std::int16_t*>(region), c.bytes);
    EXPECT_EQ(g_wavRecorder.GetSampleCount(), c.samplesWritten) << c.bytes << " bytes";
    g_wavRecorder.Finish();
    for (std::size_t i = 0; i < sizeof region; ++i) {
      if (static_cast<int>(i) >= 2 * c.samplesWritten) {
        EXPECT_EQ(region[i], 0x5A) << c.bytes << " bytes, byte " << i;
      }
    }
    if (c.samplesWritten > 0) {
      EXPECT_NE(std::memcmp(region, "\x5A\x5A", 2), 0) << "the riff sounds from its first frame";
    }
  }
  RenderBlock(nullptr, 100);
  std::filesystem::remove(TempPath("odd.wav"));
}

TEST_F(BlockRendererTest, FullAndOversizedBlocksMatchTheSameFramesInPieces) {
  // 8192 bytes are the whole mix buffer; 20000 bytes are more than it holds and must be rendered
  // as the same stream of frames, never past the buffer.
  for (int frames : {4096, 10000}) {
    StartFreshChain();
    std::vector<std::int16_t> whole(frames + 8, 4321);
    RenderBlock(whole.data(), frames * 2);
    for (int i = frames; i < frames + 8; ++i) {
      EXPECT_EQ(whole[i], 4321) << "guard " << i;
    }
    StartFreshChain();
    std::vector<std::int16_t> pieces(frames);
    for (int at = 0; at < frames; at += 1000) {
      RenderBlock(pieces.data() + at, std::min(1000, frames - at) * 2);
    }
    whole.resize(frames);
    EXPECT_EQ(whole, pieces) << frames << " frames";
  }
}

TEST_F(BlockRendererTest, RecorderGetsExactlyTheDeviceSamples) {
  StartFreshChain();
  g_distortion.SetAmount(40.0f);
  const std::string path = TempPath("same.wav");
  g_wavRecorder.Start(path.c_str());
  std::vector<std::int16_t> device;
  for (int i = 0; i < 60; ++i) {
    std::vector<std::int16_t> block(882 + i % 3);
    RenderBlock(block.data(), static_cast<std::int32_t>(block.size() * 2));
    device.insert(device.end(), block.begin(), block.end());
    g_wavRecorder.Drain();
  }
  EXPECT_TRUE(g_wavRecorder.Finish());
  const WavFileContents wav = ReadWavFile(path);
  EXPECT_TRUE(IsCompleteWav(wav));
  EXPECT_EQ(wav.samples, device);
  int loud = 0;
  for (std::int16_t s : device) {
    loud += s > 3000 || s < -3000;
  }
  EXPECT_GT(loud, 1000) << "the riff is heard";
  std::filesystem::remove(path);
}

}  // namespace
