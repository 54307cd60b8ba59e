// Shows that the audio path allocates nothing per block: this program replaces the global
// operator new with the tests' counting one and renders a few thousand blocks of the whole chain,
// riff playing, effects on, recording running.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "engine/synth_voice.h"
#include "output/block_renderer.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"
#include "tests/allocation_counter.h"
#include "harness/fresh_modules.h"

namespace {

TEST(BlockRendererAllocationTest, RenderingBlocksAllocatesNothing) {
  CreateFreshModules();
  g_distortion.SetAmount(20.0f);
  g_echoDelay.SetDelayTime(250.0f);
  g_echoDelay.SetFeedback(0.5f);
  g_riffPlayer->Play();
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("quembrel_alloc_" + std::to_string(getpid()) + ".wav"))
                               .string();
  g_wavRecorder.Start(path.c_str());

  std::vector<std::int16_t> block(kMixBufferFrames);
  RenderBlock(block.data(), 1764);
  g_wavRecorder.Drain();
  long blocks = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::int32_t bytes = i % 100 == 99 ? 8192 : 1764 + 2 * (i % 7);
    if (i % 50 == 0) {
      g_voice->SetParam(23, static_cast<ParamValue>(20 + i % 200));
      g_voice->NoteOn();
    }
    allocation_counter::Start();
    RenderBlock(block.data(), bytes);
    allocation_counter::Stop();
    ++blocks;
    if (i % 10 == 0) {
      g_wavRecorder.Drain();
    }
  }
  EXPECT_EQ(allocation_counter::Count(), 0) << "over " << blocks << " blocks";
  EXPECT_TRUE(g_wavRecorder.Finish());
  std::filesystem::remove(path);
}

}  // namespace
