// The one rate the engine runs at, and the one way the program turns milliseconds into frames at
// it. Hosts at other rates resample the engine's output; the engine itself never changes rate.
#pragma once

inline constexpr int kSampleRate = 44100;

// ms x 44100 x 0.001f, formed in double in the order written with the single-precision 0.001, so
// that envelope and delay times land on the same frame counts as the sounds were made with. The
// caller truncates or clamps the result as its own range requires.
inline double MsToFrames(float ms) {
  return static_cast<double>(ms) * kSampleRate * static_cast<double>(0.001f);
}
