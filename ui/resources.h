// The program's resource numbers that the panels refer to, and its one string resource: the About
// entry of the synth panel's menu. The knob's bitmaps keep their numbers with the knob.
#pragma once

inline constexpr int kProgramIconId = 128;
inline constexpr int kAboutEntryStringId = 101;

// The text of string resource `id`; empty for a number that has none.
inline const char* LoadResourceString(int id) {
  return id == kAboutEntryStringId ? "&A propos de Quembrel..." : "";
}
