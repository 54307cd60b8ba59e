// The riff player's parameter registry. Every index is numbered explicitly because it is also the
// value's position in a riff file: an index never moves. kRiffParams holds each parameter's name,
// the range the riff panel allows and the default that Init applies. Indices 0 and 3 have no
// control and nothing reads them, but riff files carry them.
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
    {"Reserved0", -32768, 32767, 100},
    {"Bpm", 1, 200, 96},
    {"Transpose", -48, 48, 0},
    {"Reserved3", -32768, 32767, 0},
    {"StepNote0", 0, 96, 30},
    {"StepNote1", 0, 96, 29},
    {"StepNote2", 0, 96, 24},
    {"StepNote3", 0, 96, 36},
    {"StepNote4", 0, 96, 24},
    {"StepNote5", 0, 96, 36},
    {"StepNote6", 0, 96, 31},
    {"StepNote7", 0, 96, 27},
    {"StepNote8", 0, 96, 24},
    {"StepNote9", 0, 96, 36},
    {"StepNote10", 0, 96, 36},
    {"StepNote11", 0, 96, 27},
    {"StepNote12", 0, 96, 24},
    {"StepNote13", 0, 96, 31},
    {"StepNote14", 0, 96, 36},
    {"StepNote15", 0, 96, 24},
    {"StepGate0", 0, 1, 1},
    {"StepGate1", 0, 1, 1},
    {"StepGate2", 0, 1, 1},
    {"StepGate3", 0, 1, 1},
    {"StepGate4", 0, 1, 1},
    {"StepGate5", 0, 1, 1},
    {"StepGate6", 0, 1, 1},
    {"StepGate7", 0, 1, 1},
    {"StepGate8", 0, 1, 1},
    {"StepGate9", 0, 1, 1},
    {"StepGate10", 0, 1, 1},
    {"StepGate11", 0, 1, 1},
    {"StepGate12", 0, 1, 1},
    {"StepGate13", 0, 1, 1},
    {"StepGate14", 0, 1, 1},
    {"StepGate15", 0, 1, 1},
};
