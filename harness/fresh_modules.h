// The sound modules as the program's start-up makes them, for the tests that run
// the output chain without the panels: the program's voice and riff player started afresh, the
// voice attached to the riff player and its base pitch at 440 Hz. The effects, the recorder and the
// riff's play state are left to the caller.
#pragma once

#include "output/block_renderer.h"

inline void CreateFreshModules() { StartProgramModules(); }
