// CStepTimeline: marks in a small ring, newest last, read from the newest back.
#include "sequencer/step_timeline.h"

#include <chrono>

void CStepTimeline::Init() {
  for (auto& mark : marks) {
    mark.store(0, std::memory_order_relaxed);
  }
  markCount.store(0, std::memory_order_relaxed);
  rendered.store(0, std::memory_order_relaxed);
  lastAdvanceNs.store(0, std::memory_order_relaxed);
}

void CStepTimeline::Mark(std::uint32_t offset, int step) {
  const std::uint64_t frame = rendered.load(std::memory_order_relaxed) + offset;
  // The step is stored one up, so that 0 stands for no step.
  const std::uint64_t packed = (frame << kStepBits) | static_cast<std::uint64_t>((step + 1) & 0xFF);
  const std::uint32_t n = markCount.load(std::memory_order_relaxed);
  marks[n % kMarks].store(packed, std::memory_order_relaxed);
  markCount.store(n + 1, std::memory_order_release);
}

void CStepTimeline::Advance(std::uint32_t count) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  lastAdvanceNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(),
                      std::memory_order_relaxed);
  rendered.store(rendered.load(std::memory_order_relaxed) + count, std::memory_order_release);
}

int CStepTimeline::StepAt(std::uint64_t framesBack) const {
  const std::uint64_t newest = rendered.load(std::memory_order_acquire);
  if (newest < framesBack) {
    return kNoStep;
  }
  const std::uint64_t frame = newest - framesBack;
  const std::uint32_t n = markCount.load(std::memory_order_acquire);
  const std::uint32_t oldest = n > kMarks ? n - kMarks : 0;
  for (std::uint32_t i = n; i > oldest; --i) {
    const std::uint64_t packed = marks[(i - 1) % kMarks].load(std::memory_order_relaxed);
    if ((packed >> kStepBits) <= frame) {
      return static_cast<int>(packed & 0xFF) - 1;
    }
  }
  return kNoStep;
}
