// The rate converter: pitch and level survive the conversion at every rate a device may run at, a
// sine stays clean and the passband flat at the common ones, an event stamped at an output frame is
// heard exactly LatencyFrames() later, whatever the call sizes, silence costs nothing and changes
// nothing, and bad arguments are refused.
#include "output/rate_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

constexpr int kRates[] = {22050, 32000, 44056, 44100, 48000, 88200, 96000, 192000};
// Every rate a device may run at is served, odd ones and the extremes included.
constexpr int kAnyRates[] = {8000, 11025, 22050, 32000, 44056, 44100, 47999, 48000, 88200, 96000, 192000, 352800, 383999, 384000};

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
  for (const int rate : kAnyRates) {
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
      // No call comes out short: no stretch of silence inside the sine.
      int gaps = 0;
      for (std::size_t i = settled + 1; i < output.size(); ++i) gaps += output[i - 1] == 0.0f && output[i] == 0.0f;
      EXPECT_EQ(gaps, 0);
    }
  }
}

// The sine of `hz` fitted to `output` from frame `from` on, by least squares: its amplitude and
// what it leaves over, in dB below it.
struct SineFit {
  double amplitude;
  double cleanDb;
};
SineFit FitSine(const std::vector<float>& output, std::size_t from, double hz, int rate) {
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
  return {std::hypot(a, b), 10.0 * std::log10(signal / residue)};
}

std::vector<float> ConvertSine(int rate, double hz, double amplitude) {
  CRateConverter converter;
  EXPECT_TRUE(converter.Init(rate, 128));
  return Convert(converter, 128, rate, [hz, amplitude](std::int64_t frame, int, int) {
    return static_cast<std::int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * hz * frame / 44100.0)));
  });
}

// A sine comes out as a sine: what a fitted sine of its frequency leaves over (noise, spikes,
// distortion) stays 90 dB below it. Prints the figures.
TEST(RateConverterTest, SineStaysCleanAtEveryRate) {
  for (const int rate : kRates) {
    for (const double hz : {1000.0, 9000.0}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, a sine of " << hz << " Hz");
      const std::vector<float> output = ConvertSine(rate, hz, 16000.0);
      const SineFit fit = FitSine(output, output.size() / 2, hz, rate);
      std::printf("%6d Hz: a %5.0f Hz sine's residue %.1f dB below it\n", rate, hz, fit.cleanDb);
      EXPECT_GT(fit.cleanDb, 90.0);
    }
  }
}

// Flat to 18 kHz where the device's rate carries it: an 18 kHz sine keeps the level of a 1 kHz one
// within 0.1 dB. Prints the figures.
TEST(RateConverterTest, PassbandIsFlatTo18Kilohertz) {
  for (const int rate : kRates) {
    if (rate < 44100) continue;
    SCOPED_TRACE(testing::Message() << rate << " Hz");
    const std::vector<float> reference = ConvertSine(rate, 1000.0, 16000.0);
    const std::vector<float> high = ConvertSine(rate, 18000.0, 16000.0);
    const double db = 20.0 * std::log10(FitSine(high, high.size() / 2, 18000.0, rate).amplitude /
                                        FitSine(reference, reference.size() / 2, 1000.0, rate).amplitude);
    std::printf("%6d Hz: 18 kHz at %+.4f dB against 1 kHz\n", rate, db);
    EXPECT_NEAR(db, 0.0, 0.1);
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
    std::printf("%6d Hz: latency %d frames, %.3f ms\n", rate, converter.LatencyFrames(),
                1000.0 * converter.LatencyFrames() / rate);
    if (rate == 44100) {
      EXPECT_EQ(converter.LatencyFrames(), 0);
    }
    // Low latency at every rate: at most 1 ms.
    EXPECT_LE(converter.LatencyFrames(), rate / 1000);
  }
}

// A long silence after a sound comes out as exact zeros (the converter skips the sums, which
// would be +0 too), and the sound after it is the very same as from a fresh converter, whose
// window also starts silent, at the same phase of the ratio: skipping left nothing behind.
TEST(RateConverterTest, SilenceIsExactZerosAndLeavesTheSoundAfterItAsItWas) {
  constexpr int kBlock = 128;
  constexpr int kSoundFrames = 4410;
  constexpr int kAfterFrames = 8192;
  for (const int rate : {22050, 48000, 96000, 44056}) {
    SCOPED_TRACE(testing::Message() << rate << " Hz");
    const std::int64_t g = std::gcd(44100, rate);
    const std::int64_t period = std::lcm(rate / g, std::int64_t{kBlock});
    // The second sound starts on a call that begins a period of the ratio, at least a second in.
    const std::int64_t soundAt = (rate + period - 1) / period * period;
    const std::int64_t engineAt = soundAt * (44100 / g) / (rate / g);
    const auto second = [](std::int64_t frame) {
      return static_cast<std::int16_t>(std::lround(12000.0 * std::sin(2.0 * M_PI * 1000.0 * frame / 44100.0)));
    };
    CRateConverter converter;
    ASSERT_TRUE(converter.Init(rate, kBlock));
    const std::vector<float> output = Convert(
        converter, kBlock, static_cast<int>(soundAt + kAfterFrames), [&](std::int64_t frame, int, int) {
          if (frame < kSoundFrames) return static_cast<std::int16_t>(std::lround(16000.0 * std::sin(0.0627 * frame)));
          return frame < engineAt ? std::int16_t{0} : second(frame - engineAt);
        });
    CRateConverter fresh;
    ASSERT_TRUE(fresh.Init(rate, kBlock));
    const std::vector<float> expected =
        Convert(fresh, kBlock, kAfterFrames, [&](std::int64_t frame, int, int) { return second(frame); });
    // Past the first sound and the filter's reach.
    const std::int64_t silentFrom = static_cast<std::int64_t>(kSoundFrames + 512) * rate / 44100;
    int wrong = 0;
    for (std::int64_t i = silentFrom; i < soundAt && wrong < 5; ++i) {
      if (output[i] != 0.0f || std::signbit(output[i])) {
        ADD_FAILURE() << "frame " << i << " of the silence: " << output[i];
        ++wrong;
      }
    }
    for (int i = 0; i < kAfterFrames && wrong < 5; ++i) {
      if (output[soundAt + i] != expected[i]) {
        ADD_FAILURE() << "frame " << i << " after the silence: " << output[soundAt + i] << " against " << expected[i];
        ++wrong;
      }
    }
    double energy = 0.0;
    for (const float v : expected) energy += v * v;
    EXPECT_GT(energy, kAfterFrames * 0.05);
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
