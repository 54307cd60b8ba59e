// One frame of the mix buffer: the voice writes its filtered output into both halves, the effects
// process both, and only the left half is converted and reaches the device and the recorder.
#pragma once

struct StereoFrame {
  float left;
  float right;
};
