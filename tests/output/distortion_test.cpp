// Tests of the waveshaper: exact values, the fixed points +-1 and 0, the on/off rule of the amount.
#include "output/distortion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

StereoFrame ShapeOne(CDistortion& shaper, float left, float right) {
  StereoFrame frame{left, right};
  shaper.Process(&frame, 1);
  return frame;
}

TEST(DistortionTest, StartsOnWithAmountOne) {
  CDistortion shaper;
  EXPECT_EQ(shaper.GetAmount(), 1.0f);
  const StereoFrame out = ShapeOne(shaper, 0.5f, -0.5f);
  // 0.5 x 1.5 / (0.25 + 1), in double, rounded to float.
  EXPECT_EQ(out.left, static_cast<float>(0.6));
  EXPECT_EQ(out.right, -static_cast<float>(0.6));
}

TEST(DistortionTest, OneMinusOneAndZeroAreFixedForEveryAmount) {
  CDistortion shaper;
  for (float k : {1.0f, 1.5f, 2.0f, 10.0f, 100.0f, 32767.0f}) {
    shaper.SetAmount(k);
    std::vector<StereoFrame> frames = {{1.0f, -1.0f}, {0.0f, -0.0f}, {-1.0f, 1.0f}};
    shaper.Process(frames.data(), static_cast<int>(frames.size()));
    EXPECT_EQ(frames[0].left, 1.0f) << k;
    EXPECT_EQ(frames[0].right, -1.0f) << k;
    EXPECT_EQ(frames[1].left, 0.0f) << k;
    EXPECT_EQ(frames[1].right, 0.0f) << k;
    EXPECT_EQ(frames[2].left, -1.0f) << k;
    EXPECT_EQ(frames[2].right, 1.0f) << k;
  }
}

TEST(DistortionTest, SetAmountSwitchesOffBelowOne) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float given;
    float stored;
  } cases[] = {
      {0.999f, 0.0f}, {0.0f, 0.0f}, {-5.0f, 0.0f}, {nan, 0.0f},
      {1.0f, 1.0f},   {37.0f, 37.0f}, {1e9f, 1e9f},
  };
  CDistortion shaper;
  for (const auto& c : cases) {
    shaper.SetAmount(c.given);
    EXPECT_EQ(shaper.GetAmount(), c.stored) << c.given;
    const StereoFrame out = ShapeOne(shaper, 0.25f, -0.75f);
    if (c.stored == 0.0f) {
      EXPECT_EQ(out.left, 0.25f) << c.given;
      EXPECT_EQ(out.right, -0.75f) << c.given;
    } else {
      EXPECT_NE(out.left, 0.25f) << c.given;
    }
  }
}

TEST(DistortionTest, GainNearZeroIsAboutAmountAndPeakIsBounded) {
  CDistortion shaper;
  shaper.SetAmount(10.0f);
  EXPECT_NEAR(ShapeOne(shaper, 0.001f, 0.0f).left / 0.001f, 10.0f, 0.1f);

  // With k = 1 the largest output, (1 + sqrt 2) / 2, is reached at 1 + sqrt 2.
  shaper.SetAmount(1.0f);
  const float peakInput = static_cast<float>(1.0 + std::sqrt(2.0));
  EXPECT_NEAR(ShapeOne(shaper, peakInput, 0.0f).left, (1.0 + std::sqrt(2.0)) / 2.0, 1e-6);
  for (float x : {1.1f, 2.0f, 5.0f, 100.0f, 1e6f}) {
    const StereoFrame out = ShapeOne(shaper, x, -x);
    EXPECT_GT(out.left, 1.0f) << x;
    EXPECT_LE(out.left, 1.2072f) << x;
    EXPECT_EQ(out.right, -out.left) << x;
  }
}

TEST(DistortionTest, EmptyOrNegativeRunsChangeNothing) {
  CDistortion shaper;
  StereoFrame frame{0.5f, 0.5f};
  shaper.Process(&frame, 0);
  shaper.Process(&frame, -3);
  EXPECT_EQ(frame.left, 0.5f);
  EXPECT_EQ(frame.right, 0.5f);
}

}  // namespace
