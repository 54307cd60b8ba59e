// The rate converter: pitch and level survive the conversion at every common device rate, an event
// stamped at an output frame is heard exactly LatencyFrames() later, whatever the call sizes, and
// bad arguments are refused.
#include "output/rate_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kRates[] = {22050, 32000, 44100, 48000, 88200, 96000, 192000};

// Converts engine samples made by `engineSample` (called with the absolute engine frame) in calls
// of `blockFrames`, returning `outputFrames` output frames.
template <typename Source>
std::vector<float> Convert(CRateConverter& converter, int blockFrames, int outputFrames,
                           Source engineSample) {
  std::vector<float> output(outputFrames);
  std::vector<std::int16_t> engine(converter.MaxEngineFrames());
  std::int64_t engineFrame = 0;
  for (int done = 0; done < outputFrames; done += blockFrames) {
    const int frames = std::min(blockFrames, outputFrames - done);
    const int engineFrames = converter.EngineFramesFor(frames);
    for (int i = 0; i < engineFrames; ++i) engine[i] = engineSample(engineFrame + i, frames, done);
    engineFrame += engineFrames;
    EXPECT_TRUE(converter.Process(engine.data(), output.data() + done, frames));
  }
  return output;
}

// Frequency from the first and last upward zero crossing, interpolated between samples.
double MeasuredPitch(const std::vector<float>& samples, std::size_t from, int rate) {
  double first = -1.0;
  double last = -1.0;
  int crossings = 0;
  for (std::size_t i = from + 1; i < samples.size(); ++i) {
    if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
      const double at = static_cast<double>(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
      if (first < 0.0) first = at;
      last = at;
      ++crossings;
    }
  }
  return (crossings - 1) * rate / (last - first);
}

TEST(RateConverterTest, KeepsPitchAndLevelAtEveryRate) {
  for (const int rate : kRates) {
    for (const int block : {128, 37}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, blocks of " << block);
      CRateConverter converter;
      ASSERT_TRUE(converter.Init(rate, 256));
      const std::vector<float> output =
          Convert(converter, block, rate, [](std::int64_t frame, int, int) {
            return static_cast<std::int16_t>(
                std::lround(16384.0 * std::sin(2.0 * M_PI * 440.0 * frame / 44100.0)));
          });
      const std::size_t settled = converter.LatencyFrames() + rate / 100;
      EXPECT_NEAR(MeasuredPitch(output, settled, rate), 440.0, 0.44);
      double energy = 0.0;
      for (std::size_t i = settled; i < output.size(); ++i) energy += output[i] * output[i];
      EXPECT_NEAR(std::sqrt(energy / (output.size() - settled)), 0.5 / std::sqrt(2.0), 0.005);
      EXPECT_EQ(converter.ShortCalls(), 0);
    }
  }
}

// A sine comes out as a sine: what a fitted sine of its frequency leaves over (noise, spikes,
// distortion) stays 80 dB below it.
TEST(RateConverterTest, SineStaysCleanAtEveryRate) {
  for (const int rate : kRates) {
    for (const double hz : {1000.0, 9000.0}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, a sine of " << hz << " Hz");
      CRateConverter converter;
      ASSERT_TRUE(converter.Init(rate, 128));
      const std::vector<float> output = Convert(converter, 128, rate, [hz](std::int64_t frame, int, int) {
        return static_cast<std::int16_t>(std::lround(16000.0 * std::sin(2.0 * M_PI * hz * frame / 44100.0)));
      });
      const std::size_t from = output.size() / 2;
      double ss = 0.0, sc = 0.0, cc = 0.0, ys = 0.0, yc = 0.0;
      for (std::size_t i = from; i < output.size(); ++i) {
        const double s = std::sin(2.0 * M_PI * hz * i / rate);
        const double c = std::cos(2.0 * M_PI * hz * i / rate);
        ss += s * s;
        sc += s * c;
        cc += c * c;
        ys += output[i] * s;
        yc += output[i] * c;
      }
      const double det = ss * cc - sc * sc;
      const double a = (ys * cc - yc * sc) / det;
      const double b = (yc * ss - ys * sc) / det;
      double signal = 0.0, residue = 0.0;
      for (std::size_t i = from; i < output.size(); ++i) {
        const double fitted = a * std::sin(2.0 * M_PI * hz * i / rate) + b * std::cos(2.0 * M_PI * hz * i / rate);
        signal += fitted * fitted;
        residue += (output[i] - fitted) * (output[i] - fitted);
      }
      EXPECT_GT(10.0 * std::log10(signal / residue), 80.0);
    }
  }
}

TEST(RateConverterTest, EventIsHeardLatencyFramesAfterItsStamp) {
  for (const int rate : kRates) {
    SCOPED_TRACE(testing::Message() << rate << " Hz");
    CRateConverter converter;
    ASSERT_TRUE(converter.Init(rate, 256));
    // Calls of varying size; the impulse is stamped at an arbitrary output frame inside some call
    // and mapped to its engine frame the way a host's event is.
    constexpr int kStamp = 5003;
    std::vector<float> output(kStamp * 2);
    std::vector<std::int16_t> engine(converter.MaxEngineFrames());
    bool carried = false;
    for (int done = 0, call = 0; done < static_cast<int>(output.size()); ++call) {
      const int frames = std::min<int>(1 + (call * 97) % 256, output.size() - done);
      const int engineFrames = converter.EngineFramesFor(frames);
      std::fill(engine.begin(), engine.end(), 0);
      int at = carried ? 0 : -1;
      carried = false;
      if (kStamp >= done && kStamp < done + frames) at = converter.EngineOffsetFor(kStamp - done);
      // Mapped to the end of the call, the event takes effect at the start of the next one.
      if (at == engineFrames) {
        carried = true;
      } else if (at >= 0) {
        engine[at] = 30000;
      }
      ASSERT_TRUE(converter.Process(engine.data(), output.data() + done, frames));
      done += frames;
    }
    std::size_t peak = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
      if (std::fabs(output[i]) > std::fabs(output[peak])) peak = i;
    }
    const double expected = kStamp + converter.LatencyFrames();
    EXPECT_NEAR(static_cast<double>(peak), expected, rate > 44100 ? rate / 44100.0 + 1.0 : 1.0);
    if (rate == 44100) {
      EXPECT_EQ(converter.LatencyFrames(), 0);
    }
    // Low latency at every rate: at most 1 ms.
    EXPECT_LE(converter.LatencyFrames(), rate / 1000);
  }
}

TEST(RateConverterTest, RefusesBadArguments) {
  struct Case {
    int rate;
    int maxFrames;
  };
  for (const Case c : {Case{0, 128}, Case{-48000, 128}, Case{7999, 128}, Case{384001, 128},
                       Case{48000, 0}, Case{48000, -5}, Case{48000, 16385}}) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.maxFrames << " frames");
    CRateConverter converter;
    EXPECT_FALSE(converter.Init(c.rate, c.maxFrames));
    float output[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const std::int16_t engine[4] = {};
    EXPECT_FALSE(converter.Process(engine, output, 4));
    EXPECT_EQ(output[0], 1.0f);
    EXPECT_EQ(converter.EngineFramesFor(4), 0);
  }
  CRateConverter converter;
  ASSERT_TRUE(converter.Init(48000, 64));
  std::vector<float> output(65, 1.0f);
  std::vector<std::int16_t> engine(converter.MaxEngineFrames() + 8);
  EXPECT_FALSE(converter.Process(engine.data(), output.data(), 65));
  EXPECT_FALSE(converter.Process(engine.data(), output.data(), -1));
  EXPECT_EQ(output[0], 1.0f);
  EXPECT_TRUE(converter.Process(engine.data(), output.data(), 0));
}

}  // namespace
