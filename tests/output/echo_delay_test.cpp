// Tests of the feedback delay: setter clamps and conversions, impulse trains, the 0 ms longest echo,
// and that splitting a run changes nothing.
#include "output/echo_delay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Runs an impulse of 1.0 on the left half through the delay, in runs of `run` frames.
std::vector<StereoFrame> ImpulseResponse(CEchoDelay& delay, int frames, int run) {
  std::vector<StereoFrame> buffer(frames, StereoFrame{0.0f, 0.0f});
  buffer[0].left = 1.0f;
  for (int at = 0; at < frames; at += run) {
    delay.Process(buffer.data() + at, std::min(run, frames - at));
  }
  return buffer;
}

TEST(EchoDelayTest, StartsSilentWithNoEcho) {
  auto delay = std::make_unique<CEchoDelay>();
  EXPECT_EQ(delay->GetFeedback(), 0.0f);
  EXPECT_EQ(delay->GetTimeMs(), 0.0f);
  EXPECT_EQ(delay->GetDelayFrames(), 0u);
  EXPECT_EQ(delay->GetWriteIndex(), 0u);
  const std::vector<StereoFrame> out = ImpulseResponse(*delay, 40000, 4096);
  EXPECT_EQ(out[0].left, 1.0f);
  for (std::size_t i = 1; i < out.size(); ++i) {
    ASSERT_EQ(out[i].left, 0.0f) << i;
  }
}

TEST(EchoDelayTest, SetFeedbackClampsToZeroToTwo) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float given;
    float stored;
  } cases[] = {{-0.5f, 0.0f}, {2.5f, 2.0f}, {2.0f, 2.0f}, {0.7f, 0.7f},
               {0.0f, 0.0f},  {nan, 0.0f},  {inf, 2.0f}, {-inf, 0.0f}};
  auto delay = std::make_unique<CEchoDelay>();
  for (const auto& c : cases) {
    delay->SetFeedback(c.given);
    EXPECT_EQ(delay->GetFeedback(), c.stored) << c.given;
  }
}

TEST(EchoDelayTest, SetDelayTimeConvertsMillisecondsToFrames) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float ms;
    float storedMs;
    std::uint32_t frames;
  } cases[] = {
      {1.0f, 1.0f, 44},         {3.0f, 3.0f, 132},        {10.0f, 10.0f, 441},
      {743.0f, 743.0f, 32766},  {744.0f, 744.0f, 32768},  {1000.0f, 1000.0f, 32768},
      {32767.0f, 32767.0f, 32768}, {-5.0f, 0.0f, 0},      {0.0f, 0.0f, 0},
      {0.5f, 0.5f, 22},         {nan, 0.0f, 0},           {inf, inf, 32768},
      {3e38f, 3e38f, 32768},
  };
  auto delay = std::make_unique<CEchoDelay>();
  for (const auto& c : cases) {
    delay->SetDelayTime(c.ms);
    EXPECT_EQ(delay->GetTimeMs(), c.storedMs) << c.ms;
    EXPECT_EQ(delay->GetDelayFrames(), c.frames) << c.ms;
  }
  // Every whole millisecond from 0 to 743 gives floor(ms x 44.1) frames.
  for (int ms = 0; ms <= 743; ++ms) {
    delay->SetDelayTime(static_cast<float>(ms));
    ASSERT_EQ(delay->GetDelayFrames(), static_cast<std::uint32_t>(ms * 441 / 10)) << ms;
  }
}

TEST(EchoDelayTest, ImpulseTrainHalvesEveryDelay) {
  auto delay = std::make_unique<CEchoDelay>();
  delay->SetDelayTime(10.0f);
  delay->SetFeedback(0.5f);
  ASSERT_EQ(delay->GetDelayFrames(), 441u);
  const std::vector<StereoFrame> out = ImpulseResponse(*delay, 8000, 882);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const float expected = i % 441 == 0 ? std::ldexp(1.0f, -static_cast<int>(i / 441)) : 0.0f;
    ASSERT_EQ(out[i].left, expected) << i;
    ASSERT_EQ(out[i].right, 0.0f) << i;
  }
}

TEST(EchoDelayTest, ZeroMillisecondsGivesTheLongestEcho) {
  for (float ms : {0.0f, 744.0f}) {
    auto delay = std::make_unique<CEchoDelay>();
    delay->SetDelayTime(ms);
    delay->SetFeedback(1.0f);
    const std::vector<StereoFrame> out = ImpulseResponse(*delay, 70000, 4096);
    for (std::size_t i = 0; i < out.size(); ++i) {
      const float expected = i % 32768 == 0 ? 1.0f : 0.0f;
      ASSERT_EQ(out[i].left, expected) << ms << " ms, frame " << i;
    }
  }
}

TEST(EchoDelayTest, EmptyRunChangesNothing) {
  auto delay = std::make_unique<CEchoDelay>();
  delay->SetFeedback(1.0f);
  StereoFrame frames[3] = {{1.0f, 2.0f}, {3.0f, 4.0f}, {5.0f, 6.0f}};
  delay->Process(frames, 3);
  const std::uint32_t index = delay->GetWriteIndex();
  delay->Process(frames, 0);
  delay->Process(frames, -1);
  EXPECT_EQ(delay->GetWriteIndex(), index);
  EXPECT_EQ(frames[0].left, 1.0f);
  EXPECT_EQ(frames[2].right, 6.0f);
}

TEST(EchoDelayTest, SplittingARunGivesTheSameOutput) {
  const struct {
    float ms;
    float gain;
  } settings[] = {{10.0f, 0.7f}, {0.0f, 0.9f}, {50.0f, 1.3f}, {1.0f, 2.0f}};
  for (const auto& s : settings) {
    std::vector<StereoFrame> input(3 * 4096);
    for (std::size_t i = 0; i < input.size(); ++i) {
      input[i] = {std::sin(0.01f * i), std::cos(0.03f * i) * 0.5f};
    }
    std::vector<StereoFrame> whole = input;
    std::vector<StereoFrame> split = input;
    auto a = std::make_unique<CEchoDelay>();
    auto b = std::make_unique<CEchoDelay>();
    for (CEchoDelay* d : {a.get(), b.get()}) {
      d->SetDelayTime(s.ms);
      d->SetFeedback(s.gain);
    }
    for (int block = 0; block < 3; ++block) {
      StereoFrame* at = whole.data() + block * 4096;
      a->Process(at, 4096);
      at = split.data() + block * 4096;
      b->Process(at, 1000);
      b->Process(at + 1000, 3096);
    }
    for (std::size_t i = 0; i < input.size(); ++i) {
      ASSERT_EQ(whole[i].left, split[i].left) << s.ms << " ms, frame " << i;
      ASSERT_EQ(whole[i].right, split[i].right) << s.ms << " ms, frame " << i;
    }
    EXPECT_EQ(a->GetWriteIndex(), b->GetWriteIndex());
  }
}

TEST(EchoDelayTest, InitRestoresTheStartingState) {
  auto delay = std::make_unique<CEchoDelay>();
  delay->SetDelayTime(5.0f);
  delay->SetFeedback(1.0f);
  ImpulseResponse(*delay, 1000, 1000);
  delay->Init();
  EXPECT_EQ(delay->GetFeedback(), 0.0f);
  EXPECT_EQ(delay->GetDelayFrames(), 0u);
  EXPECT_EQ(delay->GetWriteIndex(), 0u);
  delay->SetFeedback(1.0f);
  const std::vector<StereoFrame> out = ImpulseResponse(*delay, 40000, 4096);
  for (std::size_t i = 1; i < 32768; ++i) {
    ASSERT_EQ(out[i].left, 0.0f) << "the ring was cleared, frame " << i;
  }
}

}  // namespace
