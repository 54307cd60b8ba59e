// Shows that the plugin's run() allocates nothing: this program replaces the global operator new
// with the tests' counting one, loads the plugin through lilv and counts only inside run(), over
// blocks that carry MIDI notes, bends and transport positions while the riff, the effects and the
// ports change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/allocation_counter.h"
#include "tests/plugin/lv2_test_host.h"

namespace {

TEST(Lv2PluginAllocTest, RunAllocatesNothing) {
  CLv2TestHost host;
  ASSERT_NE(host.Plugin(), nullptr) << "the bundle is not on LV2_PATH";
  // One instance at the engine's rate and one resampled, so both output paths are counted.
  for (double rate : {44100.0, 48000.0}) {
    CLv2TestInstance instance(host, rate);
    ASSERT_NE(instance.Instance(), nullptr) << rate;
    std::vector<float> out(1024);
    for (int block = 0; block < 3000; ++block) {
      instance.Control("Play") = (block / 500) % 2 == 0 ? 1.0f : 0.0f;
      instance.Control("FollowHost") = (block / 700) % 2 == 0 ? 0.0f : 1.0f;
      instance.Control("Cutoff") = static_cast<float>(block % 255);
      instance.Control("DelayTime") = static_cast<float>(block % 900);
      instance.Control("Lfo2ToVolume") = static_cast<float>(block % 2);
      const std::uint8_t note = static_cast<std::uint8_t>(40 + block % 30);
      instance.FillEvents({Position(0, block * 0.1, 123.4, 1.0), Midi(10, {0x90, note, 100}),
                           Midi(500, {0xE0, 0x00, static_cast<std::uint8_t>(block % 128)}),
                           Midi(900, {0x80, note, 0})});
      lilv_instance_connect_port(instance.Instance(), kAudioOutPort, out.data());
      allocation_counter::Start();
      lilv_instance_run(instance.Instance(), 1024);
      allocation_counter::Stop();
    }
  }
  EXPECT_EQ(allocation_counter::Count(), 0);
}

}  // namespace
