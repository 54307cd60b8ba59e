// The state-variable filter: settling, the bypass mode, both halves written, the cutoff taking
// effect per call, damping clamps, stability over the voice's cutoff range and modes from files.
#include "engine/multi_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<StereoFrame> Constant(float x, int n) { return std::vector<StereoFrame>(n, StereoFrame{x, 123.0f}); }

TEST(MultiFilter, InitState) {
  CMultiFilter filter;
  filter.Init();
  EXPECT_EQ(filter.mode, CMultiFilter::kLowPass);
  EXPECT_EQ(filter.cutoff, 2000.0f);
  EXPECT_EQ(filter.GetDamping(), 1.0f);
  EXPECT_EQ(filter.GetLow(), 0.0f);
  EXPECT_EQ(filter.GetBand(), 0.0f);
  EXPECT_EQ(filter.GetHigh(), 0.0f);
}

TEST(MultiFilter, ConstantInputSettles) {
  struct Case {
    int mode;
    float expected;
  };
  const Case cases[] = {{CMultiFilter::kLowPass, 0.5f}, {CMultiFilter::kBandPass, 0.0f}, {CMultiFilter::kHighPass, 0.0f}};
  for (const Case& c : cases) {
    CMultiFilter filter;
    filter.Init();
    filter.mode = c.mode;
    std::vector<StereoFrame> frames = Constant(0.5f, 8);
    for (int block = 0; block < 20000; ++block) {
      frames = Constant(0.5f, 8);
      filter.Process(frames.data(), 8);
    }
    for (const StereoFrame& f : frames) {
      EXPECT_NEAR(f.left, c.expected, 1e-6f) << "mode " << c.mode;
      EXPECT_EQ(f.right, f.left) << "mode " << c.mode;
    }
    EXPECT_NEAR(filter.GetLow(), 0.5f, 1e-6f);
    EXPECT_NEAR(filter.GetBand(), 0.0f, 1e-6f);
    EXPECT_NEAR(filter.GetHigh(), 0.0f, 1e-6f);
  }
}

TEST(MultiFilter, FirstSamplesFollowTheRecurrence) {
  CMultiFilter filter;
  filter.Init();
  filter.mode = CMultiFilter::kHighPass;
  std::vector<StereoFrame> frames = {{1.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}};
  filter.Process(frames.data(), 3);
  const double f = 2.0 * std::sin(2000.0 * static_cast<double>(0.000071237926f));
  double low = 0.0, band = 0.0;
  const float x[] = {1.0f, 0.0f, 0.0f};
  for (int i = 0; i < 3; ++i) {
    low = low + f * band;
    const float high = static_cast<float>(x[i] - low - band);
    band = band + f * high;
    EXPECT_EQ(frames[i].left, high);
    EXPECT_EQ(frames[i].right, high);
  }
  EXPECT_EQ(filter.GetBand(), static_cast<float>(band));
}

TEST(MultiFilter, BypassCopiesLeftAndFreezesTheState) {
  CMultiFilter filter;
  filter.Init();
  std::vector<StereoFrame> warm = Constant(0.7f, 8);
  filter.Process(warm.data(), 8);
  const float low = filter.GetLow(), band = filter.GetBand(), high = filter.GetHigh();
  for (int mode : {static_cast<int>(CMultiFilter::kNone), 4, 1000}) {
    filter.mode = mode;
    std::vector<StereoFrame> frames = {{0.25f, 9.0f}, {-0.5f, -9.0f}};
    filter.Process(frames.data(), 2);
    EXPECT_EQ(frames[0].left, 0.25f);
    EXPECT_EQ(frames[0].right, 0.25f);
    EXPECT_EQ(frames[1].left, -0.5f);
    EXPECT_EQ(frames[1].right, -0.5f);
    EXPECT_EQ(filter.GetLow(), low);
    EXPECT_EQ(filter.GetBand(), band);
    EXPECT_EQ(filter.GetHigh(), high);
  }
}

TEST(MultiFilter, NegativeModeFiltersAsLowPass) {
  CMultiFilter a, b;
  a.Init();
  b.Init();
  b.mode = -7;
  std::vector<StereoFrame> fa = {{1.0f, 0.0f}, {0.5f, 0.0f}, {-0.3f, 0.0f}};
  std::vector<StereoFrame> fb = fa;
  a.Process(fa.data(), 3);
  b.Process(fb.data(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(fa[i].left, fb[i].left);
}

TEST(MultiFilter, CutoffChangeAppliesFromTheNextCall) {
  CMultiFilter a, b;
  a.Init();
  b.Init();
  std::vector<StereoFrame> fa = {{1.0f, 0.0f}, {1.0f, 0.0f}};
  std::vector<StereoFrame> fb = fa;
  a.Process(fa.data(), 2);
  b.Process(fb.data(), 2);
  b.cutoff = 100.0f;
  std::vector<StereoFrame> ga = {{1.0f, 0.0f}};
  std::vector<StereoFrame> gb = ga;
  a.Process(ga.data(), 1);
  b.Process(gb.data(), 1);
  EXPECT_EQ(fa[1].left, fb[1].left);
  EXPECT_NE(ga[0].left, gb[0].left);
}

TEST(MultiFilter, DampingClamps) {
  struct Case {
    float q, stored;
  };
  const Case cases[] = {{-0.5f, 0.0f}, {2.0f, 1.0f}, {0.3f, 0.3f}, {0.0f, 0.0f}, {1.0f, 1.0f}};
  CMultiFilter filter;
  filter.Init();
  for (const Case& c : cases) {
    filter.SetDamping(c.q);
    EXPECT_EQ(filter.GetDamping(), c.stored);
  }
}

TEST(MultiFilter, StableOverTheVoiceCutoffRange) {
  for (float cutoff : {20.0f, 1000.0f, 4004.31f, 8020.0f}) {
    for (int mode : {0, 1, 2}) {
      CMultiFilter filter;
      filter.Init();
      filter.mode = mode;
      filter.cutoff = cutoff;
      float peak = 0.0f;
      for (int block = 0; block < 20000; ++block) {
        std::vector<StereoFrame> frames(8);
        for (int i = 0; i < 8; ++i) frames[i].left = ((block * 8 + i) / 3) % 2 ? 1.0f : -1.0f;
        filter.Process(frames.data(), 8);
        for (const StereoFrame& f : frames) peak = std::fmax(peak, std::fabs(f.left));
      }
      EXPECT_TRUE(std::isfinite(peak));
      EXPECT_LT(peak, 100.0f) << "cutoff " << cutoff << " mode " << mode;
    }
  }
}

}  // namespace
