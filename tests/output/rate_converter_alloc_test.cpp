// Shows that converting a block allocates nothing, so it can run in a sound server's callback:
// this program replaces operator new with the tests' counting one and converts a few thousand
// blocks of varying size at several rates, an odd one among them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "output/rate_converter.h"
#include "tests/allocation_counter.h"

namespace {

TEST(RateConverterAllocationTest, ConvertingBlocksAllocatesNothing) {
  for (const int rate : {44100, 48000, 96000, 88200, 44056}) {
    SCOPED_TRACE(rate);
    CRateConverter converter;
    ASSERT_TRUE(converter.Init(rate, 256));
    std::vector<std::int16_t> engine(converter.MaxEngineFrames());
    std::vector<float> output(256);
    std::int64_t frame = 0;
    const long before = allocation_counter::Count();
    allocation_counter::Start();
    for (int call = 0; call < 4000; ++call) {
      const int frames = call % 2 == 0 ? 256 : 1 + (call * 37) % 256;
      const int engineFrames = converter.EngineFramesFor(frames);
      for (int i = 0; i < engineFrames; ++i, ++frame) {
        engine[i] = static_cast<std::int16_t>(10000.0 * std::sin(0.0627 * static_cast<double>(frame)));
      }
      converter.Process(engine.data(), output.data(), frames);
    }
    allocation_counter::Stop();
    EXPECT_EQ(allocation_counter::Count(), before);
  }
}

}  // namespace
