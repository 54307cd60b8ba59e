// CKnobStripArt: draws the knob strip, 64 frames of 32 x 32 side by side, at one, two or three
// device pixels per pixel for screens of higher density. Each frame shows a dark
// round knob with a knurled skirt and a red marker dot, standing on a grey brushed plate with tick
// marks from seven o'clock over the top to five o'clock. Frame k turns the marker clockwise to
// -150 + 300 k / 62 degrees from twelve o'clock, so the last frame a knob shows (62) points at the
// last tick and frame 63 lies just past it.
#pragma once

#include "tools/resgen/pixel_image.h"

class CKnobStripArt {
 public:
  static constexpr int kFrames = 64;
  static constexpr int kFrameSize = 32;

  // The marker's angle in frame k, in degrees clockwise from twelve o'clock.
  static double FrameAngle(int frame);
  // The strip at `scale` device pixels per pixel: 64 frames of 32 x 32 times scale.
  static CPixelImage Render(int scale = 1);
};
