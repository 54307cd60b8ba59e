// CStepTimeline: which riff step sounds at which rendered frame, so that the riff panel can light
// the step being heard while the sound output still holds frames rendered after it. The rendering
// thread marks each step start and each stop at its frame and counts the frames it renders, noting
// when it last did; any other thread asks which step sounded a given number of frames before the
// end of what is rendered. Every value crossing threads is a single atomic, and a mark packs its frame
// and step into one, so a reader never sees half a mark.
#pragma once

#include <atomic>
#include <cstdint>

class CStepTimeline {
 public:
  // What StepAt answers when no step sounded then: stopped, or before anything was rendered.
  static constexpr int kNoStep = -1;
  // Marks kept; far more than the steps that can fit in any output's latency.
  static constexpr std::uint32_t kMarks = 64;

  CStepTimeline() { Init(); }
  CStepTimeline(const CStepTimeline&) = delete;
  CStepTimeline& operator=(const CStepTimeline&) = delete;

  // Forgets every mark and frame. Only while no other thread uses the timeline.
  void Init();

  // Rendering thread: from `offset` frames into the block now being rendered, `step` sounds (or
  // kNoStep, nothing).
  void Mark(std::uint32_t offset, int step);
  // Rendering thread: the block of `count` frames is rendered.
  void Advance(std::uint32_t count);

  // Any thread: the step that sounded at frame RenderedFrames() - framesBack, frames counted from 0.
  int StepAt(std::uint64_t framesBack) const;
  std::uint64_t RenderedFrames() const { return rendered.load(std::memory_order_acquire); }
  // Any thread: the steady clock's time, in nanoseconds, of the newest Advance; 0 before any.
  std::int64_t LastAdvanceNs() const { return lastAdvanceNs.load(std::memory_order_acquire); }

 private:
  static constexpr int kStepBits = 8;

  std::atomic<std::uint64_t> marks[kMarks];
  std::atomic<std::uint32_t> markCount;
  std::atomic<std::uint64_t> rendered;
  std::atomic<std::int64_t> lastAdvanceNs;
};
