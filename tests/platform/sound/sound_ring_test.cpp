// Tests of the host loop's memory: the regions Lock hands out and the ranges it refuses, that
// only handed-out regions are committed, and that the callback's side plays the loop round in
// whole samples, exactly, as 16-bit samples or as floats.
#include "platform/sound/sound_ring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(SoundRingTest, LockSplitsAtTheEndAndRefusesWhatIsNotWholeSamplesInside) {
  CSoundRing ring;
  ASSERT_TRUE(ring.Allocate(8192));
  struct Case {
    std::uint32_t offset;
    std::uint32_t count;
    bool locks;
    std::uint32_t firstOffset;
    std::uint32_t firstBytes;
    std::uint32_t secondBytes;
  };
  const Case cases[] = {
      {0, 8192, true, 0, 8192, 0},
      {1000, 1764, true, 1000, 1764, 0},
      {6000, 4192, true, 6000, 2192, 2000},
      {4096, 8192, true, 4096, 4096, 4096},
      {8190, 2, true, 8190, 2, 0},
      {8190, 4, true, 8190, 2, 2},
      {1, 2, false, 0, 0, 0},
      {0, 3, false, 0, 0, 0},
      {0, 0, false, 0, 0, 0},
      {0, 8194, false, 0, 0, 0},
      {8192, 2, false, 0, 0, 0},
  };
  auto* base = static_cast<std::uint8_t*>(nullptr);
  {
    SoundRegion first{};
    SoundRegion second{};
    ASSERT_TRUE(ring.Lock(0, 2, &first, &second));
    base = static_cast<std::uint8_t*>(first.data);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.offset << " + " << c.count);
    SoundRegion first{};
    SoundRegion second{};
    ASSERT_EQ(ring.Lock(c.offset, c.count, &first, &second), c.locks);
    if (!c.locks) continue;
    EXPECT_EQ(first.data, base + c.firstOffset);
    EXPECT_EQ(first.byteCount, c.firstBytes);
    EXPECT_EQ(second.byteCount, c.secondBytes);
    EXPECT_EQ(second.data, c.secondBytes > 0 ? base : nullptr);
  }
}

TEST(SoundRingTest, AllocateWantsWholeSamples) {
  CSoundRing ring;
  EXPECT_FALSE(ring.Allocate(0));
  EXPECT_FALSE(ring.Allocate(7));
  SoundRegion first{};
  SoundRegion second{};
  EXPECT_FALSE(ring.Lock(0, 2, &first, &second));
  std::int16_t out[3] = {1, 2, 3};
  ring.Pull(out, 3);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(ring.GetPlayPosition(), 0u);
}

TEST(SoundRingTest, PlaysCommittedSamplesRoundTheLoop) {
  CSoundRing ring;
  ASSERT_TRUE(ring.Allocate(16));
  SoundRegion first{};
  SoundRegion second{};
  ASSERT_TRUE(ring.Lock(12, 8, &first, &second));
  auto* a = static_cast<std::int16_t*>(first.data);
  auto* b = static_cast<std::int16_t*>(second.data);
  a[0] = 100;
  a[1] = -32768;
  b[0] = 32767;
  b[1] = -1;
  ring.Commit(first, second);

  std::int16_t out[11];
  ring.Pull(out, 11);
  const std::vector<std::int16_t> expected = {32767, -1, 0, 0, 0, 0, 100, -32768, 32767, -1, 0};
  EXPECT_EQ(std::vector<std::int16_t>(out, out + 11), expected);
  EXPECT_EQ(ring.GetPlayPosition(), 6u);

  float floats[6];
  ring.PullFloat(floats, 6);
  EXPECT_EQ(floats[0], 0.0f);
  EXPECT_EQ(floats[3], 100.0f / 32768.0f);
  EXPECT_EQ(floats[4], -1.0f);
  EXPECT_EQ(static_cast<std::int32_t>(floats[5] * 32768.0f), 32767);
  EXPECT_EQ(ring.GetPlayPosition(), 2u);
}

TEST(SoundRingTest, OnlyRegionsLockHandsOutAreCommitted) {
  CSoundRing ring;
  ASSERT_TRUE(ring.Allocate(8));
  SoundRegion first{};
  SoundRegion second{};
  ASSERT_TRUE(ring.Lock(0, 8, &first, &second));
  auto* staged = static_cast<std::int16_t*>(first.data);
  for (int i = 0; i < 4; ++i) staged[i] = static_cast<std::int16_t>(i + 1);
  std::int16_t foreign[4] = {9, 9, 9, 9};
  auto* bytes = static_cast<std::uint8_t*>(first.data);
  ring.Commit({foreign, 8}, {nullptr, 0});
  ring.Commit({bytes + 1, 2}, {bytes, 3});
  ring.Commit({bytes + 4, 6}, {nullptr, 0});
  std::int16_t out[4];
  ring.Pull(out, 4);
  EXPECT_EQ(std::vector<std::int16_t>(out, out + 4), (std::vector<std::int16_t>{0, 0, 0, 0}));

  ring.Commit({bytes + 4, 4}, {bytes, 2});
  ring.Pull(out, 4);
  EXPECT_EQ(std::vector<std::int16_t>(out, out + 4), (std::vector<std::int16_t>{1, 0, 3, 4}));
}

}  // namespace
