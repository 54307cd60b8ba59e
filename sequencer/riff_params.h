// The riff player's parameter registry. Every index is numbered explicitly because it is also the
// value's position in a riff file: an index never moves. kRiffParams holds each parameter's name,
// the range the riff panel allows, the default that Init applies, and its full name and unit.
// Indices 0 and 3 have no control and nothing reads them, but riff files carry them.
#pragma once

#include "engine/param_info.h"

enum RiffParam : int {
  kRiffReserved0 = 0,
  kBpm = 1,
  kTranspose = 2,
  kRiffReserved3 = 3,
  kStepNote0 = 4,   // kStepNote0 + s for step s, 0 to 15
  kStepGate0 = 20,  // kStepGate0 + s for step s, 0 to 15
  kRiffParamCount = 36
};

inline constexpr int kRiffSteps = 16;

inline constexpr ParamInfo kRiffParams[kRiffParamCount] = {
    {"Reserved0", -32768, 32767, 100, "Reserved 0", ""},
    {"Bpm", 1, 200, 96, "Tempo", "BPM"},
    {"Transpose", -48, 48, 0, "Transpose", "semitones"},
    {"Reserved3", -32768, 32767, 0, "Reserved 3", ""},
    {"StepNote0", 0, 96, 30, "Step 1 note", ""},
    {"StepNote1", 0, 96, 29, "Step 2 note", ""},
    {"StepNote2", 0, 96, 24, "Step 3 note", ""},
    {"StepNote3", 0, 96, 36, "Step 4 note", ""},
    {"StepNote4", 0, 96, 24, "Step 5 note", ""},
    {"StepNote5", 0, 96, 36, "Step 6 note", ""},
    {"StepNote6", 0, 96, 31, "Step 7 note", ""},
    {"StepNote7", 0, 96, 27, "Step 8 note", ""},
    {"StepNote8", 0, 96, 24, "Step 9 note", ""},
    {"StepNote9", 0, 96, 36, "Step 10 note", ""},
    {"StepNote10", 0, 96, 36, "Step 11 note", ""},
    {"StepNote11", 0, 96, 27, "Step 12 note", ""},
    {"StepNote12", 0, 96, 24, "Step 13 note", ""},
    {"StepNote13", 0, 96, 31, "Step 14 note", ""},
    {"StepNote14", 0, 96, 36, "Step 15 note", ""},
    {"StepNote15", 0, 96, 24, "Step 16 note", ""},
    {"StepGate0", 0, 1, 1, "Step 1 on", ""},
    {"StepGate1", 0, 1, 1, "Step 2 on", ""},
    {"StepGate2", 0, 1, 1, "Step 3 on", ""},
    {"StepGate3", 0, 1, 1, "Step 4 on", ""},
    {"StepGate4", 0, 1, 1, "Step 5 on", ""},
    {"StepGate5", 0, 1, 1, "Step 6 on", ""},
    {"StepGate6", 0, 1, 1, "Step 7 on", ""},
    {"StepGate7", 0, 1, 1, "Step 8 on", ""},
    {"StepGate8", 0, 1, 1, "Step 9 on", ""},
    {"StepGate9", 0, 1, 1, "Step 10 on", ""},
    {"StepGate10", 0, 1, 1, "Step 11 on", ""},
    {"StepGate11", 0, 1, 1, "Step 12 on", ""},
    {"StepGate12", 0, 1, 1, "Step 13 on", ""},
    {"StepGate13", 0, 1, 1, "Step 14 on", ""},
    {"StepGate14", 0, 1, 1, "Step 15 on", ""},
    {"StepGate15", 0, 1, 1, "Step 16 on", ""},
};
