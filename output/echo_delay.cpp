// The delay's setters, with their clamps, and the per-frame feedback loop over the ring.
#include "output/echo_delay.h"

#include "engine/sample_rate.h"

namespace {

constexpr std::uint32_t kRingMask = CEchoDelay::kRingFrames - 1;
static_assert((CEchoDelay::kRingFrames & kRingMask) == 0, "the ring is indexed with a bit mask");

}  // namespace

CEchoDelay::CEchoDelay() { Init(); }

void CEchoDelay::Init() {
  for (StereoFrame& frame : ring) {
    frame = StereoFrame{0.0f, 0.0f};
  }
  writeIndex = 0;
  SetFeedback(0.0f);
  SetDelayTime(0.0f);
}

void CEchoDelay::SetFeedback(float v) {
  float gain = v;
  if (!(v >= 0.0f)) {
    gain = 0.0f;
  } else if (v > 2.0f) {
    gain = 2.0f;
  }
  feedback.store(gain, std::memory_order_relaxed);
}

void CEchoDelay::SetDelayTime(float ms) {
  const float time = !(ms >= 0.0f) ? 0.0f : ms;
  timeMs.store(time, std::memory_order_relaxed);
  // Milliseconds become frames as everywhere in the program, truncated. Clamping before the
  // conversion keeps huge and infinite times defined.
  const double frames = MsToFrames(time);
  const double longest = kRingFrames;
  delayFrames.store(frames > longest ? kRingFrames : static_cast<std::uint32_t>(frames),
                    std::memory_order_relaxed);
}

float CEchoDelay::GetFeedback() const { return feedback.load(std::memory_order_relaxed); }

float CEchoDelay::GetTimeMs() const { return timeMs.load(std::memory_order_relaxed); }

std::uint32_t CEchoDelay::GetDelayFrames() const {
  return delayFrames.load(std::memory_order_relaxed);
}

std::uint32_t CEchoDelay::GetWriteIndex() const { return writeIndex; }

void CEchoDelay::Process(StereoFrame* frames, int n) {
  if (n <= 0) {
    return;
  }
  const double gain = feedback.load(std::memory_order_relaxed);
  std::uint32_t write = writeIndex;
  std::uint32_t read = (write - delayFrames.load(std::memory_order_relaxed)) & kRingMask;
  for (int i = 0; i < n; ++i) {
    StereoFrame out;
    out.left = static_cast<float>(frames[i].left + gain * ring[read].left);
    out.right = static_cast<float>(frames[i].right + gain * ring[read].right);
    frames[i] = out;
    ring[write] = out;
    write = (write + 1) & kRingMask;
    read = (read + 1) & kRingMask;
  }
  writeIndex = write;
}
