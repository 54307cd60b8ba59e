// Shows that the plugin's run() allocates nothing: this program replaces the global operator new
// with a counting one, loads the plugin through lilv and counts only inside run(), over blocks that
// carry MIDI notes, bends and transport positions while the riff, the effects and the ports change.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "tests/plugin/lv2_test_host.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* CountedAllocation(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void* operator new(std::size_t size) { return CountedAllocation(size); }
void* operator new[](std::size_t size) { return CountedAllocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

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
      g_counting.store(true);
      lilv_instance_run(instance.Instance(), 1024);
      g_counting.store(false);
    }
  }
  EXPECT_EQ(g_allocations.load(), 0);
}

}  // namespace
