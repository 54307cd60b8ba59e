// The host clock's anchoring and the search for the next step's frame.
#include "sequencer/host_clock.h"

#include <cmath>

namespace {

// A boundary worked out to lie within this many frames after a whole frame falls on that frame:
// it absorbs the rounding of one multiplication over hours of frames (about 1e-8), and stays
// below the finest fraction a tempo given in single precision puts between boundaries (6e-8).
constexpr double kFrameSlack = 3e-8;

// A step's distance from the anchor is held to this many frames (about 700 years) before it
// becomes an integer: only steps near the current block are ever played, and one long overdue
// must not overflow.
constexpr double kMaxOffset = 1e15;

}  // namespace

void CHostClock::Init() {
  hasPosition = false;
  rolling = false;
  anchorFrame = 0;
  anchorPosition = 0.0;
  framesPerSixteenth = 0.0;
  nextSixteenth = 0;
}

double CHostClock::PositionAt(std::int64_t frame) const {
  if (!rolling) return anchorPosition;
  return anchorPosition + static_cast<double>(frame - anchorFrame) / framesPerSixteenth;
}

std::int64_t CHostClock::FrameOf(std::int64_t sixteenth) const {
  const double offset = std::ceil((static_cast<double>(sixteenth) - anchorPosition) * framesPerSixteenth - kFrameSlack);
  return anchorFrame + static_cast<std::int64_t>(std::fmax(-kMaxOffset, std::fmin(kMaxOffset, offset)));
}

std::int64_t CHostClock::LatestAt(std::int64_t frame) const {
  return static_cast<std::int64_t>(std::floor(PositionAt(frame) + kFrameSlack / framesPerSixteenth));
}

bool CHostClock::SetPosition(std::int64_t frame, double sixteenths, double sixteenLength, bool isRolling) {
  if (!(std::fabs(sixteenths) <= kMaxSixteenths)) return false;
  if (isRolling && !(sixteenLength >= kMinFramesPerSixteenth && sixteenLength <= kMaxFramesPerSixteenth)) {
    return false;
  }
  const bool continues = rolling && isRolling && std::fabs(PositionAt(frame) - sixteenths) < 0.5;
  hasPosition = true;
  rolling = isRolling;
  anchorFrame = frame;
  anchorPosition = sixteenths;
  if (!isRolling) return true;
  framesPerSixteenth = sixteenLength;
  if (!continues) {
    // A boundary less than half a frame behind the new position is played now, not skipped.
    nextSixteenth = static_cast<std::int64_t>(std::ceil(sixteenths - 0.5 / framesPerSixteenth));
  }
  return true;
}

bool CHostClock::NextStep(std::int64_t from, std::int64_t to, std::int64_t& frame, int& step) {
  if (!rolling || from >= to) return false;
  std::int64_t at = FrameOf(nextSixteenth);
  // A step already due (the host's position moved on without a jump) plays at once; of several,
  // the latest.
  if (at < from) {
    at = from;
    const std::int64_t latest = LatestAt(from);
    if (latest > nextSixteenth) nextSixteenth = latest;
  }
  if (at >= to) return false;
  frame = at;
  step = static_cast<int>((nextSixteenth % 16 + 16) % 16);
  ++nextSixteenth;
  return true;
}

void CHostClock::EndBlock(std::int64_t frames) { anchorFrame -= frames; }
