// Follows the host's transport and places the riff's steps on the host's sixteenth notes: step s
// plays at the first frame at or after sixteenth number k since the song's start, s = k mod 16.
//
// Every position the host reports anchors the clock: a song position in sixteenths at a frame of
// the current block, and the length of a sixteenth in frames. A step's frame is worked out from the
// latest anchor in one step, never by adding up block lengths, so nothing accumulates and a host
// that reports its position once plays as exactly as one that reports it every block. A position
// that continues the previous one (within half a sixteenth) keeps the next step due; a jump
// (locate, loop) starts again from the new position.
//
// Only positions a song can reach are followed: within 2^52 sixteenths of the start either way,
// where a double still counts every sixteenth and a frame number never overflows, and, while
// rolling, with a sixteenth between 1 and 10^9 frames long, so that a block never holds more steps
// than frames. Anything else is refused and changes nothing. Steps the clock has fallen behind
// (while the riff did not follow the host) are not played one by one: only the latest plays.
#pragma once

#include <cstdint>

class CHostClock {
 public:
  static constexpr double kMaxSixteenths = 4503599627370496.0;  // 2^52
  static constexpr double kMinFramesPerSixteenth = 1.0;
  static constexpr double kMaxFramesPerSixteenth = 1e9;

  CHostClock() { Init(); }
  CHostClock(const CHostClock&) = delete;
  CHostClock& operator=(const CHostClock&) = delete;

  void Init();

  // The host's position at frame `frame` of the current block: `sixteenths` since the song's
  // start, one more every `framesPerSixteenth` frames while rolling. A stopped transport stops the
  // steps. False, and nothing changes, for a position outside the ranges above.
  bool SetPosition(std::int64_t frame, double sixteenths, double framesPerSixteenth, bool rolling);
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
  // The latest sixteenth whose step falls at or before `frame`.
  std::int64_t LatestAt(std::int64_t frame) const;

  bool hasPosition;
  bool rolling;
  std::int64_t anchorFrame;
  double anchorPosition;
  double framesPerSixteenth;
  std::int64_t nextSixteenth;
};
