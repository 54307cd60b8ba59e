// Follows the host's transport and places the riff's steps on the host's sixteenth notes: step s
// plays at the first frame at or after sixteenth number k since the song's start, s = k mod 16.
//
// Every position the host reports anchors the clock: a song position in sixteenths at a frame of
// the current block, and the length of a sixteenth in frames. A step's frame is worked out from the
// latest anchor in one step, never by adding up block lengths, so nothing accumulates and a host
// that reports its position once plays as exactly as one that reports it every block. A position
// that continues the previous one (within half a sixteenth) keeps the next step due; a jump
// (locate, loop) starts again from the new position.
#pragma once

#include <cstdint>

class CHostClock {
 public:
  CHostClock() { Init(); }
  CHostClock(const CHostClock&) = delete;
  CHostClock& operator=(const CHostClock&) = delete;

  void Init();

  // The host's position at frame `frame` of the current block: `sixteenths` since the song's
  // start, one more every `framesPerSixteenth` frames while rolling. A stopped transport (or a
  // length that is not positive and finite) stops the steps.
  void SetPosition(std::int64_t frame, double sixteenths, double framesPerSixteenth, bool rolling);
  bool IsRolling() const { return rolling; }
  bool HasPosition() const { return hasPosition; }
  // The song position, in sixteenths, at a frame of the current block, from the latest anchor.
  double PositionAt(std::int64_t frame) const;

  // The next step due in frames [from, to) of the current block: true with its frame and step
  // number, which it then counts as played.
  bool NextStep(std::int64_t from, std::int64_t to, std::int64_t& frame, int& step);

  // The current block ends after `frames` frames; frame numbers restart at 0.
  void EndBlock(std::int64_t frames);

 private:
  std::int64_t FrameOf(std::int64_t sixteenth) const;

  bool hasPosition;
  bool rolling;
  std::int64_t anchorFrame;
  double anchorPosition;
  double framesPerSixteenth;
  std::int64_t nextSixteenth;
};
