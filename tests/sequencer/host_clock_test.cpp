// Tests of the host clock: steps on the host's sixteenths for ten minutes whether the host reports
// its position once or, rounded as the time extension's single-precision fields carry it, every
// block; a locate plays from the new place; a stopped transport plays nothing; positions no song
// reaches are refused.
#include "sequencer/host_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Step {
  std::int64_t frame;
  int step;
};

// Runs the clock over `frames` frames in blocks of `block`, reporting the position at the start of
// every block when `everyBlock`, else only at frame 0, and collects the steps in song frames.
std::vector<Step> Steps(double bpm, std::int64_t frames, int block, bool everyBlock) {
  CHostClock clock;
  const double framesPerSixteenth = 60.0 * 44100.0 / (bpm * 4.0);
  std::vector<Step> steps;
  for (std::int64_t at = 0; at < frames; at += block) {
    if (at == 0 || everyBlock) {
      // A host sends the bar as an integer and the beat within it in single precision.
      const double beats = static_cast<double>(at) * bpm / (60.0 * 44100.0);
      const double bar = std::floor(beats / 4.0);
      const double barBeat = static_cast<float>(beats - bar * 4.0);
      const double reported = 60.0 * 44100.0 / (static_cast<float>(bpm) * 4.0);
      clock.SetPosition(0, (bar * 4.0 + barBeat) * 4.0, everyBlock ? reported : framesPerSixteenth, true);
    }
    std::int64_t frame = 0;
    int step = 0;
    while (clock.NextStep(0, block, frame, step)) {
      if (at + frame < frames) steps.push_back({at + frame, step});
    }
    clock.EndBlock(block);
  }
  return steps;
}

TEST(HostClockTest, StepsStayWithinAFrameOfTheSixteenthsForTenMinutes) {
  constexpr std::int64_t kFrames = 10LL * 60 * 44100;
  for (bool everyBlock : {false, true}) {
    for (int block : {64, 512, 4096}) {
      const std::vector<Step> steps = Steps(123.4, kFrames, block, everyBlock);
      // 123.4 BPM is 493.6 sixteenths a minute; the last one falls on the end, or just before it
      // when the host's tempo is rounded to single precision.
      ASSERT_GE(steps.size(), 4936u);
      ASSERT_LE(steps.size(), 4937u);
      std::int64_t worst = 0;
      for (std::size_t k = 0; k < steps.size(); ++k) {
        const double exact = static_cast<double>(k) * 2646000.0 / 493.6;
        worst = std::max<std::int64_t>(worst, std::llabs(steps[k].frame - static_cast<std::int64_t>(std::ceil(exact))));
        ASSERT_EQ(steps[k].step, static_cast<int>(k % 16));
      }
      EXPECT_LE(worst, 1) << "block " << block << (everyBlock ? ", position every block" : ", position once");
    }
  }
}

TEST(HostClockTest, LocateStopAndBadPositions) {
  CHostClock clock;
  std::int64_t frame = 0;
  int step = 0;
  // Rolling from sixteenth 37.5: the next boundary is sixteenth 38, step 6, half a sixteenth on.
  clock.SetPosition(100, 37.5, 1000.0, true);
  ASSERT_TRUE(clock.NextStep(0, 4096, frame, step));
  EXPECT_EQ(frame, 600);
  EXPECT_EQ(step, 6);
  // A loop back to the start plays step 0 at once.
  clock.SetPosition(700, 0.0, 1000.0, true);
  ASSERT_TRUE(clock.NextStep(700, 4096, frame, step));
  EXPECT_EQ(frame, 700);
  EXPECT_EQ(step, 0);
  // Positions no song reaches are refused and change nothing: sixteenth 3 still falls on frame 800.
  const struct {
    double sixteenths, length;
  } refused[] = {{3.0, 0.0},      {3.0, -5.0},   {3.0, static_cast<double>(NAN)}, {3.0, static_cast<double>(INFINITY)},
                 {3.0, 0.5},      {3.0, 2e9},    {std::ldexp(1.0, 53), 1000.0},  {static_cast<double>(NAN), 1000.0},
                 {-1e300, 1000.0}};
  clock.SetPosition(800, 3.0, 1000.0, true);
  for (const auto& r : refused) {
    EXPECT_FALSE(clock.SetPosition(900, r.sixteenths, r.length, true)) << r.sixteenths << " " << r.length;
  }
  ASSERT_TRUE(clock.NextStep(800, 4096, frame, step));
  EXPECT_EQ(frame, 800);
  EXPECT_EQ(step, 3);
  // Stopped, the clock plays nothing.
  clock.SetPosition(800, 3.0, 1000.0, false);
  EXPECT_FALSE(clock.NextStep(800, 1000000, frame, step));
  // A clock left behind by a hundred sixteenths plays only the latest of them, then goes on.
  clock.SetPosition(0, 0.0, 10.0, true);
  ASSERT_TRUE(clock.NextStep(1000, 2000, frame, step));
  EXPECT_EQ(frame, 1000);
  EXPECT_EQ(step, 100 % 16);
  ASSERT_TRUE(clock.NextStep(1001, 2000, frame, step));
  EXPECT_EQ(frame, 1010);
  // A position before the song's start still counts its sixteenths modulo 16.
  clock.SetPosition(0, -1.0, 10.0, true);
  ASSERT_TRUE(clock.NextStep(0, 100, frame, step));
  EXPECT_EQ(step, 15);
}

}  // namespace
